#include "app/display_id.h"

namespace quillmer {

std::optional<uint32_t> parseDisplayID(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) return std::nullopt;
    uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<uint64_t>(c - '0');
        if (value > UINT32_MAX) return std::nullopt;
    }
    // "-0" is zero; any other negative number is not a display.
    if (negative && value != 0) return std::nullopt;
    return static_cast<uint32_t>(value);
}

}  // namespace quillmer
