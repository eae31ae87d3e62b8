#pragma once

#include <compare>
#include <optional>
#include <string_view>

namespace quillmer {

// "1.4.0" or "1.4.0-beta.3": three numeric components and an optional beta number. A release
// orders after every beta of the same three numbers.
struct ReleaseVersion {
    unsigned long long major = 0, minor = 0, patch = 0;
    std::optional<unsigned long long> beta;

    static std::optional<ReleaseVersion> parse(std::string_view text);
    std::strong_ordering operator<=>(const ReleaseVersion& other) const;
    bool operator==(const ReleaseVersion& other) const = default;
};

// True only when both texts parse and `candidate` orders after `current`.
bool isNewerVersion(std::string_view candidate, std::string_view current);

}  // namespace quillmer
