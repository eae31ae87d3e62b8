#include "core/ascii_case.h"

#include <algorithm>

namespace quillmer {

char asciiLowercased(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string asciiLowercased(std::string_view text) {
    std::string lower(text);
    std::ranges::transform(lower, lower.begin(), [](char c) { return asciiLowercased(c); });
    return lower;
}

bool equalsIgnoringASCIICase(std::string_view a, std::string_view b) {
    return std::ranges::equal(a, b, [](char x, char y) { return asciiLowercased(x) == asciiLowercased(y); });
}

}  // namespace quillmer
