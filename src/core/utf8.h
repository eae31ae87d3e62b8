#pragma once

#include <cstddef>
#include <string_view>

namespace quillmer {

// Length of the well-formed UTF-8 sequence starting at `pos` (1 to 4), or 0 when the bytes
// there are not well-formed (stray continuation, overlong form, surrogate, beyond U+10FFFF).
size_t utf8SequenceLength(std::string_view text, size_t pos);

bool isValidUTF8(std::string_view text);

}  // namespace quillmer
