#pragma once

#include <cstddef>
#include <string_view>

namespace quillmer {

// User-perceived characters (extended grapheme clusters) of UTF-8 text: "é" written as e plus a
// combining accent, or a flag, counts once. Malformed bytes count as one character each.
size_t countUserPerceivedCharacters(std::string_view text);

}  // namespace quillmer
