#include "capture/session_progress_files.h"

#include <vector>

#include "core/atomic_file.h"
#include "core/json.h"

namespace quillmer {

namespace {

struct VisualChangeAnchorShape {
    static VisualChangeAnchorShape fromJSON(const Json& json) {
        const JsonObjectReader reader(json, "visualAnchor");
        for (const char* key : {"x", "y", "width", "height"}) reader.required<double>(key);
        return {};
    }
    Json toJSON() const { return Json::object(); }
};

struct SpeakerShape {
    static SpeakerShape fromJSON(const Json& json) {
        const JsonObjectReader reader(json, "TranscriptSpeaker");
        reader.optional<std::string>("id");
        reader.required<std::string>("name");
        reader.required<std::string>("role");
        return {};
    }
    Json toJSON() const { return Json::object(); }
};

struct SegmentShape {
    static SegmentShape fromJSON(const Json& json) {
        const JsonObjectReader reader(json, "LocalTranscriptSegment");
        reader.required<Uuid>("id");
        reader.required<double>("startSeconds");
        reader.required<double>("durationSeconds");
        reader.required<std::string>("text");
        reader.optional<double>("confidence");
        reader.optional<SpeakerShape>("speaker");
        reader.optional<std::string>("sourceTrack");
        return {};
    }
    Json toJSON() const { return Json::object(); }
};

struct CandidateShape {
    static CandidateShape fromJSON(const Json& json) {
        const JsonObjectReader reader(json, "candidate");
        reader.required<Uuid>("id");
        reader.required<double>("rangeStartSeconds");
        reader.required<double>("rangeEndSeconds");
        reader.required<std::string>("trigger");
        reader.required<std::string>("transcriptContext");
        reader.required<std::vector<std::string>>("frameFiles");
        reader.optional<VisualChangeAnchorShape>("visualAnchor");
        return {};
    }
    Json toJSON() const { return Json::object(); }
};

struct FeedbackItemShape {
    static FeedbackItemShape fromJSON(const Json& json) {
        const JsonObjectReader reader(json, "feedback item");
        reader.required<Uuid>("id");
        reader.required<Uuid>("candidateID");
        for (const char* key : {"component", "observed", "requestedChange", "quote"}) reader.required<std::string>(key);
        reader.required<double>("confidence");
        reader.required<std::vector<std::string>>("evidenceFramePaths");
        return {};
    }
    Json toJSON() const { return Json::object(); }
};

struct DiagnosticShape {
    static DiagnosticShape fromJSON(const Json& json) {
        const JsonObjectReader reader(json, "analysis diagnostic");
        reader.required<Uuid>("id");
        reader.required<Uuid>("candidateID");
        reader.required<std::string>("message");
        return {};
    }
    Json toJSON() const { return Json::object(); }
};

template <typename Count>
std::optional<int> countOrNothing(const std::filesystem::path& file, Count count) {
    try {
        return count(parseJSON(readWholeFile(file)));
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

}  // namespace

std::optional<int> readTranscriptSegmentCount(const std::filesystem::path& file) {
    return countOrNothing(file, [](const Json& json) {
        const JsonObjectReader reader(json, "transcript.json");
        reader.required<int64_t>("schemaVersion");
        reader.required<Timestamp>("createdAt");
        reader.required<std::string>("audioFile");
        reader.required<double>("sourcePTSOffsetSeconds");
        reader.required<std::string>("localeIdentifier");
        reader.optional<std::string>("provider");
        return static_cast<int>(reader.required<std::vector<SegmentShape>>("segments").size());
    });
}

std::optional<int> readCandidateCount(const std::filesystem::path& file) {
    return countOrNothing(file, [](const Json& json) {
        const JsonObjectReader reader(json, "evidence-candidates.json");
        reader.required<int64_t>("schemaVersion");
        reader.required<Timestamp>("createdAt");
        return static_cast<int>(reader.required<std::vector<CandidateShape>>("candidates").size());
    });
}

std::optional<int> readFeedbackItemCount(const std::filesystem::path& file) {
    return countOrNothing(file, [](const Json& json) {
        const JsonObjectReader reader(json, "feedback.json");
        reader.required<int64_t>("schemaVersion");
        reader.required<std::string>("provider");
        reader.required<std::string>("model");
        reader.required<Timestamp>("createdAt");
        return static_cast<int>(reader.required<std::vector<FeedbackItemShape>>("items").size());
    });
}

std::optional<int> readAnalysisDiagnosticCount(const std::filesystem::path& file) {
    return countOrNothing(file, [](const Json& json) {
        std::vector<DiagnosticShape> diagnostics;
        if (!decodeJSONValue(json, diagnostics)) throw DecodingError("analysis-diagnostics.json is not a list");
        return static_cast<int>(diagnostics.size());
    });
}

}  // namespace quillmer
