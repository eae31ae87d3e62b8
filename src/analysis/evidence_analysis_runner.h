#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <stop_token>
#include <string>
#include <vector>

#include "analysis/evidence_analysis_provider.h"
#include "analysis/grounded_feedback.h"
#include "core/error.h"
#include "evidence/evidence_bundle_document.h"

namespace quillmer {

// One failed candidate in "analysis-diagnostics.json"; it stays "unfinished" until a retry succeeds.
struct EvidenceAnalysisDiagnostic {
    Uuid id;
    Uuid candidateID;
    std::string message;

    bool operator==(const EvidenceAnalysisDiagnostic&) const = default;
    static EvidenceAnalysisDiagnostic fromJSON(const Json& json);
    Json toJSON() const;
};

// What one provider call came to: an item, nothing grounded (both fields empty), or a failure.
struct CandidateOutcome {
    Uuid candidateID;
    std::optional<GroundedFeedbackItem> item;
    std::optional<std::string> diagnostic;
};

// Every analysed candidate failed; the three files were still written.
class AllCandidatesFailedError : public Error {
public:
    explicit AllCandidatesFailedError(size_t failures, std::string_view analyser = "Gemini");
    size_t failures() const noexcept { return failures_; }

private:
    size_t failures_;
};

struct EvidenceAnalysisRunOptions {
    // Only these candidates, merged into the bundle's earlier results (a retry); none: all of them,
    // replacing earlier results.
    std::optional<std::set<Uuid>> candidateIDs = std::nullopt;
    // Only the first `limit` selected candidates, in bundle order (negative counts as 0).
    std::optional<int> limit = std::nullopt;
    // Heard on the calling thread after each candidate, with the finished and selected counts.
    std::function<void(const CandidateOutcome&, size_t finished, size_t total)> progress = {};
};

// Analyses a bundle's candidates through one provider, at most four calls at a time (fewer when the
// provider asks), started in bundle order on worker threads; merges the outcomes on the calling
// thread as they finish and writes feedback.json, feedback.md and analysis-diagnostics.json into the
// bundle.
class EvidenceAnalysisRunner {
public:
    static constexpr size_t kMaxConcurrentCalls = 4;

    explicit EvidenceAnalysisRunner(EvidenceAnalysisProvider& provider) : provider_(provider) {}

    // Throws: evidence.json (or, for a retry, the earlier files) unreadable → that error with nothing
    // written; a write failure; AllCandidatesFailedError after writing; CancellationError when `stop`
    // asks (the calls in flight are told to stop and awaited; nothing is written).
    GroundedFeedbackReport run(const std::filesystem::path& bundleDirectory, const EvidenceAnalysisRunOptions& options,
                               std::stop_token stop = {});

private:
    void analyseAll(const std::vector<EvidenceBundleDocument::Candidate>& selected,
                                             const std::filesystem::path& bundleDirectory,
                                             const EvidenceAnalysisRunOptions& options, std::stop_token stop,
                                             const std::function<void(const CandidateOutcome&)>& merge);

    EvidenceAnalysisProvider& provider_;
};

// The candidate ids listed in a bundle's "analysis-diagnostics.json" (none when it is missing).
std::set<Uuid> unfinishedCandidateIDs(const std::filesystem::path& bundleDirectory);

}  // namespace quillmer
