#include "app/byte_range.h"

#include <charconv>

namespace quillmer {

namespace {

std::optional<uint64_t> decimal(std::string_view text) {
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty()) return std::nullopt;
    uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

}  // namespace

ByteRange byteRangeFromHeader(std::optional<std::string_view> header, uint64_t size) {
    const ByteRange whole{0, size};
    if (!header || !header->starts_with("bytes=")) return whole;
    const std::string_view spec = header->substr(6);
    const size_t dash = spec.find('-');
    const auto start = decimal(spec.substr(0, dash));
    if (!start || *start >= size) return whole;
    std::optional<uint64_t> end;
    if (dash != std::string_view::npos) end = decimal(spec.substr(dash + 1));
    const uint64_t last = end.value_or(size - 1);
    // Saturating: "bytes=0-18446744073709551615" must clamp, not wrap around.
    const uint64_t exclusiveEnd = last >= size ? size : last + 1;
    return {*start, std::max(exclusiveEnd, *start + 1)};
}

}  // namespace quillmer
