#include "evidence/visual_evidence_candidate.h"

#include "core/atomic_file.h"

namespace quillmer {

VisualChangeAnchor VisualChangeAnchor::fromJSON(const Json& json) {
    const JsonObjectReader reader(json, "VisualChangeAnchor");
    return {reader.required<double>("x"), reader.required<double>("y"), reader.required<double>("width"),
            reader.required<double>("height")};
}

Json VisualChangeAnchor::toJSON() const {
    Json json = Json::object();
    putJSON(json, "x", x);
    putJSON(json, "y", y);
    putJSON(json, "width", width);
    putJSON(json, "height", height);
    return json;
}

VisualEvidenceCandidate VisualEvidenceCandidate::fromJSON(const Json& json) {
    const JsonObjectReader reader(json, "VisualEvidenceCandidate");
    VisualEvidenceCandidate candidate;
    candidate.id = reader.required<Uuid>("id");
    candidate.rangeStartSeconds = reader.required<double>("rangeStartSeconds");
    candidate.rangeEndSeconds = reader.required<double>("rangeEndSeconds");
    candidate.trigger = reader.required<std::string>("trigger");
    candidate.transcriptContext = reader.required<std::string>("transcriptContext");
    candidate.frameFiles = reader.required<std::vector<std::string>>("frameFiles");
    candidate.visualAnchor = reader.optional<VisualChangeAnchor>("visualAnchor");
    return candidate;
}

Json VisualEvidenceCandidate::toJSON() const {
    Json json = Json::object();
    putJSON(json, "id", id);
    putJSON(json, "rangeStartSeconds", rangeStartSeconds);
    putJSON(json, "rangeEndSeconds", rangeEndSeconds);
    putJSON(json, "trigger", trigger);
    putJSON(json, "transcriptContext", transcriptContext);
    putJSON(json, "frameFiles", frameFiles);
    putJSON(json, "visualAnchor", visualAnchor);
    return json;
}

VisualEvidenceCandidateBundle VisualEvidenceCandidateBundle::fromJSON(const Json& json) {
    const JsonObjectReader reader(json, "VisualEvidenceCandidateBundle");
    VisualEvidenceCandidateBundle bundle;
    bundle.schemaVersion = reader.required<int>("schemaVersion");
    bundle.createdAt = reader.required<Timestamp>("createdAt");
    bundle.candidates = reader.required<std::vector<VisualEvidenceCandidate>>("candidates");
    return bundle;
}

Json VisualEvidenceCandidateBundle::toJSON() const {
    Json json = Json::object();
    putJSON(json, "schemaVersion", schemaVersion);
    putJSON(json, "createdAt", createdAt);
    putJSON(json, "candidates", candidates);
    return json;
}

VisualEvidenceCandidateBundle readCandidateBundle(const std::filesystem::path& file) {
    return VisualEvidenceCandidateBundle::fromJSON(parseJSON(readWholeFile(file)));
}

}  // namespace quillmer
