#pragma once

#include <string>

#include "core/iso8601.h"

namespace quillmer {

// One row of the recent-meetings list.
struct LocalSessionSummary {
    std::string id;  // the manifest's UUID text
    std::string title;
    std::string detail;  // progress label
    Timestamp createdAt;

    bool operator==(const LocalSessionSummary&) const = default;
};

}  // namespace quillmer
