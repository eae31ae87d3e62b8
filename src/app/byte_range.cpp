#include "app/byte_range.h"

#include <charconv>

namespace quillmer {

namespace {

// 1*DIGIT: no sign, no spaces, no overflow.
std::optional<uint64_t> digits(std::string_view text) {
    if (text.empty() || text.front() < '0' || text.front() > '9') return std::nullopt;
    uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

bool isBytesUnit(std::string_view unit) {
    constexpr std::string_view kBytes = "bytes";
    if (unit.size() != kBytes.size()) return false;
    for (size_t i = 0; i < unit.size(); ++i)
        if ((unit[i] | 0x20) != kBytes[i]) return false;
    return true;
}

}  // namespace

ByteRange byteRangeFromHeader(std::optional<std::string_view> header, uint64_t size) {
    const ByteRange whole{0, size};
    if (!header) return whole;
    const size_t equals = header->find('=');
    if (equals == std::string_view::npos || !isBytesUnit(header->substr(0, equals))) return whole;
    const std::string_view spec = header->substr(equals + 1);
    // One range only; a list (or anything else) is answered with the whole file, which a server may do.
    const size_t dash = spec.find('-');
    if (dash == std::string_view::npos) return whole;
    const std::string_view first = spec.substr(0, dash);
    const std::string_view last = spec.substr(dash + 1);
    if (first.empty()) {
        // "-N": the final N bytes; an empty file or N = 0 is unsatisfiable.
        const auto suffix = digits(last);
        if (!suffix || *suffix == 0 || size == 0) return whole;
        return {size - std::min(*suffix, size), size};
    }
    const auto start = digits(first);
    if (!start || *start >= size) return whole;
    if (last.empty()) return {*start, size};
    const auto end = digits(last);
    // "100-50" is not a range at all, so the header is ignored.
    if (!end || *end < *start) return whole;
    // Saturating: "bytes=0-18446744073709551615" must clamp, not wrap around.
    return {*start, *end >= size ? size : *end + 1};
}

}  // namespace quillmer
