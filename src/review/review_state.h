#pragma once

#include <filesystem>
#include <map>
#include <utility>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "analysis/grounded_feedback.h"
#include "core/iso8601.h"
#include "core/json.h"
#include "evidence/evidence_bundle_document.h"
#include "review/feedback_review_moment.h"

namespace quillmer {

inline constexpr const char* kReviewStateFileName = "review-state.json";
// Items at or above this confidence are included until the user decides otherwise.
inline constexpr double kAutomaticSelectionThreshold = 0.72;

enum class SelectionMode { automatic, manual };

// A user's correction of one feedback item; each field replaces the item's own when present.
struct FeedbackReviewEdit {
    std::optional<std::string> component;
    std::optional<std::string> requestedChange;
    bool operator==(const FeedbackReviewEdit&) const = default;
};

// "review-state.json": which feedback items go into the brief, whose screens are useful, and edits.
// IDs are the upper-case UUID strings of feedback.json.
struct FeedbackReviewState {
    int64_t schemaVersion = 2;
    Timestamp updatedAt;
    std::set<std::string> includedFeedbackIDs;
    std::set<std::string> visualEvidenceUsefulIDs;
    SelectionMode selectionMode = SelectionMode::manual;
    std::map<std::string, FeedbackReviewEdit> edits;

    bool operator==(const FeedbackReviewState&) const = default;
    // Tolerant of older files; only `updatedAt` is required. Throws DecodingError.
    static FeedbackReviewState fromJSON(const Json& json);
    Json toJSON() const;
    // Nothing chosen yet, owned by the user.
    static FeedbackReviewState emptyDefault();
};

// What the review page asks to save; IDs and edits are checked against feedback.json.
struct ReviewDecisions {
    std::vector<std::string> includedIDs;
    std::vector<std::string> usefulIDs;
    std::map<std::string, Json> edits;  // raw, as the page sent them
};

// The item's component and requested change, each replaced by the user's edit when there is one.
std::pair<std::string, std::string> editedComponentAndChange(const GroundedFeedbackItem& item,
                                                             const FeedbackReviewState& state);

// Creates or refreshes the automatic selection; a manual state is returned untouched.
FeedbackReviewState syncReviewState(const GroundedFeedbackReport& report, const std::filesystem::path& exportFolder,
                                    double threshold = kAutomaticSelectionThreshold);
// Writes the user's decisions as a manual state and returns it.
FeedbackReviewState saveReviewDecisions(const std::filesystem::path& exportFolder, const ReviewDecisions& decisions);
// The decoded file, or the empty default when there is none. A corrupt file throws.
FeedbackReviewState loadReviewState(const std::filesystem::path& exportFolder);

// The review list: one moment per feedback item whose candidate is known, in report order. A
// corrupt review-state.json reads as the default here, so the findings stay reviewable.
std::vector<FeedbackReviewMoment> loadReviewMoments(const std::filesystem::path& exportFolder);
std::optional<FeedbackReviewMoment> makeReviewMoment(
    const GroundedFeedbackItem& item, const std::map<Uuid, EvidenceBundleDocument::Candidate>& candidatesByID,
    const std::filesystem::path& exportFolder, const FeedbackReviewState& state);

// Shared by the review list and the brief: the export folder's two input documents.
GroundedFeedbackReport readFeedbackReport(const std::filesystem::path& exportFolder);
EvidenceBundleDocument readEvidenceBundle(const std::filesystem::path& exportFolder);
std::map<Uuid, EvidenceBundleDocument::Candidate> candidatesByID(const EvidenceBundleDocument& bundle);

}  // namespace quillmer
