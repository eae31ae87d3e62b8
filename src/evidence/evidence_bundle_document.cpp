#include "evidence/evidence_bundle_document.h"

namespace quillmer {

using Document = EvidenceBundleDocument;

Document::DisplaySize Document::DisplaySize::fromJSON(const Json& json) {
    const JsonObjectReader reader(json, "DisplaySize");
    return {reader.required<int>("width"), reader.required<int>("height")};
}

Json Document::DisplaySize::toJSON() const {
    Json json = Json::object();
    putJSON(json, "width", width);
    putJSON(json, "height", height);
    return json;
}

Document::ClosedRangeValue Document::ClosedRangeValue::fromJSON(const Json& json) {
    const JsonObjectReader reader(json, "ClosedRangeValue");
    return {reader.required<double>("start"), reader.required<double>("end")};
}

Json Document::ClosedRangeValue::toJSON() const {
    Json json = Json::object();
    putJSON(json, "start", start);
    putJSON(json, "end", end);
    return json;
}

Document::Artifact Document::Artifact::fromJSON(const Json& json) {
    const JsonObjectReader reader(json, "Artifact");
    return {reader.required<std::string>("path"), reader.required<std::string>("sha256"),
            reader.required<int64_t>("byteCount")};
}

Json Document::Artifact::toJSON() const {
    Json json = Json::object();
    putJSON(json, "path", path);
    putJSON(json, "sha256", sha256);
    putJSON(json, "byteCount", byteCount);
    return json;
}

Document::Session Document::Session::fromJSON(const Json& json) {
    const JsonObjectReader reader(json, "Session");
    Session session;
    session.id = reader.required<Uuid>("id");
    session.capturedAt = reader.required<Timestamp>("capturedAt");
    session.endedAt = reader.optional<Timestamp>("endedAt");
    session.displaySize = reader.required<DisplaySize>("displaySize");
    session.videoRangeSeconds = reader.optional<ClosedRangeValue>("videoRangeSeconds");
    session.transcript = reader.required<Artifact>("transcript");
    session.repository = reader.optional<RepositorySnapshot>("repository");
    return session;
}

Json Document::Session::toJSON() const {
    Json json = Json::object();
    putJSON(json, "id", id);
    putJSON(json, "capturedAt", capturedAt);
    putJSON(json, "endedAt", endedAt);
    putJSON(json, "displaySize", displaySize);
    putJSON(json, "videoRangeSeconds", videoRangeSeconds);
    putJSON(json, "transcript", transcript);
    putJSON(json, "repository", repository);
    return json;
}

Document::Candidate Document::Candidate::fromJSON(const Json& json) {
    const JsonObjectReader reader(json, "Candidate");
    Candidate candidate;
    candidate.id = reader.required<Uuid>("id");
    candidate.rangeStartSeconds = reader.required<double>("rangeStartSeconds");
    candidate.rangeEndSeconds = reader.required<double>("rangeEndSeconds");
    candidate.trigger = reader.required<std::string>("trigger");
    candidate.transcriptContext = reader.required<std::string>("transcriptContext");
    candidate.frames = reader.required<std::vector<Frame>>("frames");
    candidate.visualAnchor = reader.optional<VisualChangeAnchor>("visualAnchor");
    return candidate;
}

Json Document::Candidate::toJSON() const {
    Json json = Json::object();
    putJSON(json, "id", id);
    putJSON(json, "rangeStartSeconds", rangeStartSeconds);
    putJSON(json, "rangeEndSeconds", rangeEndSeconds);
    putJSON(json, "trigger", trigger);
    putJSON(json, "transcriptContext", transcriptContext);
    putJSON(json, "frames", frames);
    putJSON(json, "visualAnchor", visualAnchor);
    return json;
}

Document Document::fromJSON(const Json& json) {
    const JsonObjectReader reader(json, "EvidenceBundleDocument");
    Document document;
    document.schemaVersion = reader.required<int>("schemaVersion");
    document.exportedAt = reader.required<Timestamp>("exportedAt");
    document.session = reader.required<Session>("session");
    document.candidates = reader.required<std::vector<Candidate>>("candidates");
    return document;
}

Json Document::toJSON() const {
    Json json = Json::object();
    putJSON(json, "schemaVersion", schemaVersion);
    putJSON(json, "exportedAt", exportedAt);
    putJSON(json, "session", session);
    putJSON(json, "candidates", candidates);
    return json;
}

}  // namespace quillmer
