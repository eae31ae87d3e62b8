#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "analysis/grounded_feedback.h"
#include "analysis/meeting_summary.h"
#include "capture/repository_snapshot.h"
#include "capture/session_progress_files.h"
#include "core/error.h"
#include "core/iso8601.h"
#include "core/json.h"
#include "evidence/evidence_bundle_document.h"
#include "review/review_state.h"

namespace quillmer {

inline constexpr const char* kImplementationBriefJSONFileName = "implementation-brief.json";

// "implementation-brief.json": the included, reviewed feedback of one export with its evidence,
// plus the meeting's action items that no included item covers. What a coding agent reads.
struct ImplementationBriefDocument {
    struct EvidenceFrame {
        enum class Kind { before, atMoment, after, annotated, focusedCrop, evidence };
        std::string path;
        std::string sha256;
        int64_t byteCount = 0;
        Kind kind = Kind::evidence;
        bool modelCited = false;
        bool operator==(const EvidenceFrame&) const = default;
        Json toJSON() const;
    };

    struct Item {
        Uuid id;
        Uuid candidateID;
        std::string component;
        std::string observed;
        std::string requestedChange;
        std::string quote;
        std::string transcriptContext;
        std::string trigger;
        double confidence = 0;
        double rangeStartSeconds = 0;
        double rangeEndSeconds = 0;
        std::optional<VisualChangeAnchor> visualAnchor;
        std::vector<EvidenceFrame> evidenceFrames;
        bool operator==(const Item&) const = default;
        Json toJSON() const;
    };

    int64_t schemaVersion = 4;
    Timestamp createdAt;
    std::string sourceFeedbackFile = "feedback.json";
    // Who judged the items, from feedback.json: a model's name, or the transcript rules.
    std::string analysisProvider;
    std::string analysisModel;
    std::string sourceEvidenceFile = "evidence.json";
    std::string transcriptFile;
    std::optional<RepositorySnapshot> repository;
    std::vector<Item> items;
    std::vector<std::string> additionalTranscriptActions;

    Json toJSON() const;
};

class ImplementationBriefError : public Error {
public:
    ImplementationBriefError() : Error("No grounded implementation changes are ready yet.") {}
};

// Writes implementation-brief.json, then implementation-brief.md, and returns the Markdown file.
// Throws ImplementationBriefError when nothing is included, or the read, decode or write error.
std::filesystem::path generateImplementationBrief(const std::filesystem::path& exportFolder);

std::optional<ImplementationBriefDocument::Item> makeBriefItem(
    const GroundedFeedbackItem& item, const FeedbackReviewState& state,
    const std::map<Uuid, EvidenceBundleDocument::Candidate>& candidatesByID);

// The words two action phrasings are compared by: lower case, at least two characters, no stop words.
std::set<std::string> significantWords(const std::string& text);
// The actions that no requested change already covers (half or more of their significant words).
std::vector<std::string> uncoveredActions(const std::vector<std::string>& actions,
                                          const std::vector<ImplementationBriefDocument::Item>& items);

std::string briefMarkdown(const ImplementationBriefDocument& document);

}  // namespace quillmer
