#include "core/utf8.h"

#include <cstdint>

namespace quillmer {

size_t utf8SequenceLength(std::string_view s, size_t pos) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char lead = byte(pos);
    size_t length;
    uint32_t codePoint;
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) length = 2, codePoint = lead & 0x1F;
    else if (lead >= 0xE0 && lead <= 0xEF) length = 3, codePoint = lead & 0x0F;
    else if (lead >= 0xF0 && lead <= 0xF4) length = 4, codePoint = lead & 0x07;
    else return 0;
    if (pos + length > s.size()) return 0;
    for (size_t i = 1; i < length; ++i) {
        if ((byte(pos + i) & 0xC0) != 0x80) return 0;
        codePoint = codePoint << 6 | (byte(pos + i) & 0x3F);
    }
    const bool overlong = (length == 3 && codePoint < 0x800) || (length == 4 && codePoint < 0x10000);
    const bool surrogate = codePoint >= 0xD800 && codePoint <= 0xDFFF;
    if (overlong || surrogate || codePoint > 0x10FFFF) return 0;
    return length;
}

bool isValidUTF8(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
        const size_t length = utf8SequenceLength(text, i);
        if (length == 0) return false;
        i += length;
    }
    return true;
}

}  // namespace quillmer

namespace quillmer {

namespace {

bool isWhitespaceOrNewline(char32_t c) {
    if (c == ' ' || (c >= 0x09 && c <= 0x0D) || c == 0x85 || c == 0xA0 || c == 0x1680) return true;
    if (c >= 0x2000 && c <= 0x200A) return true;
    return c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

}  // namespace

char32_t decodeUTF8CodePoint(std::string_view text, size_t pos, size_t length) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[pos + i]); };
    if (length <= 1) return byte(0);
    char32_t codePoint = byte(0) & (0xFF >> (length + 1));
    for (size_t i = 1; i < length; ++i) codePoint = codePoint << 6 | (byte(i) & 0x3F);
    return codePoint;
}

bool isNewlineCodePoint(char32_t c) {
    return (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029;
}

std::string_view trimmingWhitespaceAndNewlines(std::string_view text) {
    size_t begin = 0;
    while (begin < text.size()) {
        const size_t length = utf8SequenceLength(text, begin);
        if (length == 0 || !isWhitespaceOrNewline(decodeUTF8CodePoint(text, begin, length))) break;
        begin += length;
    }
    size_t end = text.size();
    while (end > begin) {
        // Step back to the lead byte of the last character (at most three continuation bytes).
        size_t start = end - 1;
        while (start > begin && end - start < 4 && (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) --start;
        const size_t length = utf8SequenceLength(text, start);
        if (length != end - start || !isWhitespaceOrNewline(decodeUTF8CodePoint(text, start, length))) break;
        end = start;
    }
    return text.substr(begin, end - begin);
}

}  // namespace quillmer

namespace quillmer {

std::string_view prefixWithinUTF16Units(std::string_view text, size_t maxUnits) {
    size_t units = 0;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t length = utf8SequenceLength(text, pos);
        const size_t step = length == 0 ? 1 : length;
        const size_t cost = length == 4 ? 2 : 1;
        if (units + cost > maxUnits) break;
        units += cost;
        pos += step;
    }
    return text.substr(0, pos);
}

}  // namespace quillmer
