#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/iso8601.h"
#include "core/json.h"
#include "core/uuid.h"

namespace quillmer {

// One accepted finding of the analysis model about one evidence candidate: what it is about, what
// was seen, what was asked for, the exact quote that grounds it, and the frames that help explain it.
struct GroundedFeedbackItem {
    Uuid id;
    Uuid candidateID;
    std::string component;
    std::string observed;
    std::string requestedChange;
    std::string quote;
    double confidence = 0;
    std::vector<std::string> evidenceFramePaths;

    bool operator==(const GroundedFeedbackItem&) const = default;
    static GroundedFeedbackItem fromJSON(const Json& json);
    Json toJSON() const;
};

// "feedback.json" in an export folder.
struct GroundedFeedbackReport {
    static constexpr int64_t kSchemaVersion = 2;

    int64_t schemaVersion = kSchemaVersion;
    std::string provider;
    std::string model;
    Timestamp createdAt;
    std::vector<GroundedFeedbackItem> items;

    bool operator==(const GroundedFeedbackReport&) const = default;
    static GroundedFeedbackReport fromJSON(const Json& json);
    Json toJSON() const;
};

inline constexpr const char* kFeedbackMarkdownFileName = "feedback.md";

}  // namespace quillmer
