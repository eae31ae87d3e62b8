#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/evidence_analysis_provider.h"
#include "evidence/visual_evidence_candidate.h"
#include "transcription/local_transcript.h"

namespace quillmer {

// Shown as both provider and model, so nobody mistakes a rule's item for a model's judgement.
inline constexpr const char* kTranscriptRulesProviderName = "transcript-rules";
inline constexpr const char* kTranscriptRulesModelName = "transcript-rules";
// Below the automatic-selection threshold: a rule's item goes to a coding agent only once a person
// includes it.
inline constexpr double kTranscriptRulesConfidence = 0.5;

// The text rules of the analyser, on plain text so they can be checked (and fuzzed) alone.
namespace TranscriptRules {

// The sentences of `text`, trimmed and non-empty, as views into it: a sentence ends at a line break
// or at '.', '!', '?' or '…' followed by white space or the end.
std::vector<std::string_view> sentences(std::string_view text);

// Whether `sentence` holds every word of `trigger`, in order and next to each other, as whole words.
bool holdsTrigger(std::string_view sentence, std::string_view trigger);

// Whether the sentence uses a request word or phrase of moment detection and does not demonstrate.
bool readsAsRequest(std::string_view sentence);

// The sentence of `context` to quote: of those holding the trigger, the nearest by `distance`
// (smaller is nearer; none: all equal), then one that reads as a request, then the first.
std::optional<std::string_view> quotedSentence(std::string_view context, std::string_view trigger,
                                               const std::function<double(std::string_view)>& distance = {});

// The first determiner's short noun phrase ("Can we move this button here" → "Button"), with a
// capital first letter; "Screen" when there is none.
std::string component(std::string_view sentence);

// What the visual anchor saw, in words, or that no small change was seen.
std::string observed(const std::optional<VisualChangeAnchor>& anchor);

}  // namespace TranscriptRules

// Analyses a candidate without any model: quotes the spoken request around its trigger, names the
// thing it is about, describes the detected change and cites the frames that show it. Used when no
// model is available; nothing leaves this computer.
class TranscriptRulesEvidenceProvider final : public EvidenceAnalysisProvider {
public:
    std::string providerName() const override { return kTranscriptRulesProviderName; }
    std::string modelName() const override { return kTranscriptRulesModelName; }
    std::string analyserName() const override { return "The transcript rules"; }

    // Nothing when the context has no sentence with the trigger. Reads the bundle's transcript copy
    // (once per bundle) to find the sentence nearest the moment; throws FileSystemError when it
    // cannot be read and CancellationError when stopped.
    std::optional<GroundedFeedbackItem> analyze(const EvidenceBundleDocument::Candidate& candidate,
                                                const std::filesystem::path& bundleDirectory,
                                                std::stop_token stop) override;

private:
    using Segments = std::vector<LocalTranscriptSegment>;
    std::shared_ptr<const Segments> segments(const std::filesystem::path& bundleDirectory);

    std::mutex mutex_;
    std::filesystem::path cachedBundle_;
    std::shared_ptr<const Segments> cachedSegments_;
};

}  // namespace quillmer
