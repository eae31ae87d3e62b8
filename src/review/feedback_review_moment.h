#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <utility>

namespace quillmer {

// One row of the review screen, built from a feedback item and its candidate; never stored.
struct FeedbackReviewMoment {
    std::string id;
    std::string title;
    std::string timestamp;  // "%02d:%05.2f" of the candidate's range start
    int confidence = 0;     // percent, truncated
    std::string quote;
    std::string requestedChange;
    std::string observed;
    std::optional<std::filesystem::path> evidenceImageURL;
    std::pair<double, double> evidenceRange{0, 0};

    bool operator==(const FeedbackReviewMoment&) const = default;
};

}  // namespace quillmer
