#pragma once

#include <optional>
#include <string>
#include <vector>

#include "analysis/grounded_feedback.h"
#include "core/json.h"
#include "evidence/evidence_bundle_document.h"

namespace quillmer {

// The model's answer about one candidate, before grounding. Every member is required.
struct FeedbackPayload {
    std::string component;
    std::string observed;
    std::string requestedChange;
    std::string quote;
    double confidence = 0;
    std::vector<std::string> evidenceFramePaths;

    bool operator==(const FeedbackPayload&) const = default;
    static FeedbackPayload fromJSON(const Json& json);  // throws DecodingError
    Json toJSON() const;
};

// The evidence contract shared by the relay and the developer-key route: what the model is asked,
// the shape it must answer in, what of its answer is believed, and how the result reads.
namespace GeminiEvidenceAnalyzer {

std::string prompt(const EvidenceBundleDocument::Candidate& candidate);
Json responseSchema();

// The model's top-level answer {"feedback": payload or null}; throws DecodingError for any other shape.
std::optional<FeedbackPayload> decodeAnswer(const Json& answer);

// An item only when the quote is in the transcript context (case and spacing aside), the
// confidence is within 0…1 and component and requested change are not blank; cited frames the
// candidate does not have are dropped.
std::optional<GroundedFeedbackItem> groundedItem(const FeedbackPayload& payload,
                                                 const EvidenceBundleDocument::Candidate& candidate);

// feedback.md: the report's items whose candidates are known, in report order.
std::string markdown(const GroundedFeedbackReport& report,
                     const std::vector<EvidenceBundleDocument::Candidate>& candidates);

}  // namespace GeminiEvidenceAnalyzer

}  // namespace quillmer
