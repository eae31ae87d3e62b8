#include "app/updates/release_version.h"

#include <charconv>
#include <tuple>
#include <vector>

namespace quillmer {

namespace {

std::string_view trimmed(std::string_view text) {
    constexpr std::string_view space = " \t\n\r\v\f";
    const size_t first = text.find_first_not_of(space);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(space) - first + 1);
}

// Digits only (no sign, no space), and small enough to hold.
std::optional<unsigned long long> number(std::string_view digits) {
    if (digits.empty()) return std::nullopt;
    for (char c : digits)
        if (c < '0' || c > '9') return std::nullopt;
    unsigned long long value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
    return value;
}

}  // namespace

std::optional<ReleaseVersion> ReleaseVersion::parse(std::string_view text) {
    text = trimmed(text);
    const size_t hyphen = text.find('-');
    const std::string_view core = text.substr(0, hyphen);

    std::vector<unsigned long long> parts;
    for (size_t start = 0;;) {
        const size_t dot = core.find('.', start);
        const auto part = number(core.substr(start, dot == std::string_view::npos ? dot : dot - start));
        if (!part) return std::nullopt;
        parts.push_back(*part);
        if (dot == std::string_view::npos) break;
        start = dot + 1;
    }
    if (parts.size() != 3) return std::nullopt;

    ReleaseVersion version{parts[0], parts[1], parts[2], std::nullopt};
    if (hyphen != std::string_view::npos) {
        constexpr std::string_view betaPrefix = "beta.";
        const std::string_view suffix = text.substr(hyphen + 1);
        if (!suffix.starts_with(betaPrefix)) return std::nullopt;
        version.beta = number(suffix.substr(betaPrefix.size()));
        if (!version.beta) return std::nullopt;
    }
    return version;
}

std::strong_ordering ReleaseVersion::operator<=>(const ReleaseVersion& other) const {
    if (auto order = std::tie(major, minor, patch) <=> std::tie(other.major, other.minor, other.patch); order != 0)
        return order;
    if (beta && other.beta) return *beta <=> *other.beta;
    if (beta == other.beta) return std::strong_ordering::equal;
    return beta ? std::strong_ordering::less : std::strong_ordering::greater;
}

bool isNewerVersion(std::string_view candidate, std::string_view current) {
    const auto newer = ReleaseVersion::parse(candidate);
    const auto installed = ReleaseVersion::parse(current);
    return newer && installed && *newer > *installed;
}

}  // namespace quillmer
