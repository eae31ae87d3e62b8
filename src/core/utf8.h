#pragma once

#include <cstddef>
#include <string_view>

namespace quillmer {

// Length of the well-formed UTF-8 sequence starting at `pos` (1 to 4), or 0 when the bytes
// there are not well-formed (stray continuation, overlong form, surrogate, beyond U+10FFFF).
size_t utf8SequenceLength(std::string_view text, size_t pos);

bool isValidUTF8(std::string_view text);

}  // namespace quillmer

namespace quillmer {

// `text` without leading and trailing Unicode white space and line breaks (tab, LF, VT, FF, CR,
// NEL, and every space separator, line separator and paragraph separator). Bytes that are not
// well-formed UTF-8 count as ordinary characters.
std::string_view trimmingWhitespaceAndNewlines(std::string_view text);

// True for the code points that end a line: LF, VT, FF, CR, NEL, U+2028 and U+2029.
bool isNewlineCodePoint(char32_t codePoint);

// The code point of the well-formed sequence at `pos` (whose length utf8SequenceLength gives).
char32_t decodeUTF8CodePoint(std::string_view text, size_t pos, size_t length);

}  // namespace quillmer

namespace quillmer {

// The longest prefix of `text` that is at most `maxUnits` UTF-16 code units long and ends on a
// character boundary (a character beyond U+FFFF counts two units; a byte that is not well-formed
// UTF-8 counts one, as its replacement character would).
std::string_view prefixWithinUTF16Units(std::string_view text, size_t maxUnits);

}  // namespace quillmer
