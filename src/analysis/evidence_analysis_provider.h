#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <stop_token>
#include <string>

#include "analysis/grounded_feedback.h"
#include "evidence/evidence_bundle_document.h"

namespace quillmer {

// Judges one evidence candidate of an exported bundle. The relay provider and the developer-key
// provider implement it; the runner calls several at once from worker threads, so `analyze`
// must be safe to call concurrently. A failure throws an Error whose what() is the user-facing
// text (it becomes the candidate's diagnostic); a stop request throws CancellationError.
class EvidenceAnalysisProvider {
public:
    virtual ~EvidenceAnalysisProvider() = default;
    virtual std::string providerName() const = 0;  // feedback.json "provider"
    virtual std::string modelName() const = 0;     // feedback.json "model"
    // The most calls the runner makes at once (it keeps to 1…4 whatever this says).
    virtual size_t maxConcurrentCalls() const { return 4; }
    // Who judged, as a sentence names it when every call failed ("Gemini could not analyze …").
    virtual std::string analyserName() const { return "Gemini"; }
    // The grounded item, or nothing when the model found nothing grounded.
    virtual std::optional<GroundedFeedbackItem> analyze(const EvidenceBundleDocument::Candidate& candidate,
                                                        const std::filesystem::path& bundleDirectory,
                                                        std::stop_token stop) = 0;
};

}  // namespace quillmer
