#include "evidence/feedback_vocabulary.h"

#include <unicode/uchar.h>
#include <unicode/ustring.h>
#include <unicode/utf16.h>
#include <unicode/utf8.h>

namespace quillmer {

namespace {

bool isASCII(std::string_view text) {
    for (const char c : text)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

// Most transcripts are plain ASCII; this path avoids converting them to UTF-16.
std::vector<std::string> tokenizeASCII(std::string_view text) {
    std::vector<std::string> words;
    std::string word;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9')) {
            word.push_back(c);
        } else if (byte >= 'A' && byte <= 'Z') {
            word.push_back(static_cast<char>(byte - 'A' + 'a'));
        } else if (!word.empty()) {
            words.push_back(std::move(word));
            word.clear();
        }
    }
    if (!word.empty()) words.push_back(std::move(word));
    return words;
}

std::u16string toUTF16(std::string_view text) {
    std::u16string utf16(text.size(), u'\0');  // never more UTF-16 units than UTF-8 bytes
    int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strFromUTF8WithSub(reinterpret_cast<UChar*>(utf16.data()), static_cast<int32_t>(utf16.size()), &length,
                         text.data(), static_cast<int32_t>(text.size()), 0xFFFD, nullptr, &status);
    if (U_FAILURE(status)) return {};
    utf16.resize(static_cast<size_t>(length));
    return utf16;
}

std::u16string lowerCased(const std::u16string& text) {
    std::u16string lower(text.size() + 16, u'\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        UErrorCode status = U_ZERO_ERROR;
        const int32_t length = u_strToLower(reinterpret_cast<UChar*>(lower.data()), static_cast<int32_t>(lower.size()),
                                            reinterpret_cast<const UChar*>(text.data()),
                                            static_cast<int32_t>(text.size()), "", &status);
        if (status == U_BUFFER_OVERFLOW_ERROR) {
            lower.assign(static_cast<size_t>(length), u'\0');
            continue;
        }
        if (U_FAILURE(status)) return text;
        lower.resize(static_cast<size_t>(length));
        return lower;
    }
    return text;
}

void appendUTF8(std::string& out, UChar32 codePoint) {
    char buffer[U8_MAX_LENGTH];
    int32_t length = 0;
    UBool error = false;
    U8_APPEND(buffer, length, U8_MAX_LENGTH, codePoint, error);
    if (!error) out.append(buffer, static_cast<size_t>(length));
}

}  // namespace

std::vector<std::string> tokenize(std::string_view text) {
    if (isASCII(text)) return tokenizeASCII(text);
    const std::u16string lower = lowerCased(toUTF16(text));
    std::vector<std::string> words;
    std::string word;
    const auto* units = reinterpret_cast<const UChar*>(lower.data());
    const auto length = static_cast<int32_t>(lower.size());
    for (int32_t i = 0; i < length;) {
        UChar32 codePoint;
        U16_NEXT(units, i, length, codePoint);
        if ((U_GET_GC_MASK(codePoint) & (U_GC_L_MASK | U_GC_N_MASK)) != 0) {
            appendUTF8(word, codePoint);
        } else if (!word.empty()) {
            words.push_back(std::move(word));
            word.clear();
        }
    }
    if (!word.empty()) words.push_back(std::move(word));
    return words;
}

std::string normalizedText(const std::vector<std::string>& words) {
    std::string text;
    for (const auto& word : words) {
        if (!text.empty()) text.push_back(' ');
        text += word;
    }
    return text;
}

}  // namespace quillmer
