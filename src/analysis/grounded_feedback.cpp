#include "analysis/grounded_feedback.h"

namespace quillmer {

GroundedFeedbackItem GroundedFeedbackItem::fromJSON(const Json& json) {
    const JsonObjectReader reader(json, "GroundedFeedbackItem");
    return {reader.required<Uuid>("id"),
            reader.required<Uuid>("candidateID"),
            reader.required<std::string>("component"),
            reader.required<std::string>("observed"),
            reader.required<std::string>("requestedChange"),
            reader.required<std::string>("quote"),
            reader.required<double>("confidence"),
            reader.required<std::vector<std::string>>("evidenceFramePaths")};
}

Json GroundedFeedbackItem::toJSON() const {
    Json json = Json::object();
    putJSON(json, "id", id);
    putJSON(json, "candidateID", candidateID);
    putJSON(json, "component", component);
    putJSON(json, "observed", observed);
    putJSON(json, "requestedChange", requestedChange);
    putJSON(json, "quote", quote);
    putJSON(json, "confidence", confidence);
    putJSON(json, "evidenceFramePaths", evidenceFramePaths);
    return json;
}

GroundedFeedbackReport GroundedFeedbackReport::fromJSON(const Json& json) {
    const JsonObjectReader reader(json, "feedback.json");
    GroundedFeedbackReport report;
    report.schemaVersion = reader.required<int64_t>("schemaVersion");
    report.provider = reader.required<std::string>("provider");
    report.model = reader.required<std::string>("model");
    report.createdAt = reader.required<Timestamp>("createdAt");
    report.items = reader.required<std::vector<GroundedFeedbackItem>>("items");
    return report;
}

Json GroundedFeedbackReport::toJSON() const {
    Json json = Json::object();
    putJSON(json, "schemaVersion", schemaVersion);
    putJSON(json, "provider", provider);
    putJSON(json, "model", model);
    putJSON(json, "createdAt", createdAt);
    putJSON(json, "items", items);
    return json;
}

}  // namespace quillmer
