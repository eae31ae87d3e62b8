#include "core/base64.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace quillmer {

namespace {

constexpr std::string_view kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<int, 256> makeDecodeTable() {
    std::array<int, 256> table{};
    for (auto& entry : table) entry = -1;
    for (size_t i = 0; i < kAlphabet.size(); ++i) table[static_cast<unsigned char>(kAlphabet[i])] = static_cast<int>(i);
    return table;
}

constexpr auto kDecodeTable = makeDecodeTable();

}  // namespace

void appendBase64(std::string& out, std::string_view bytes) {
    const size_t start = out.size();
    out.resize(start + (bytes.size() + 2) / 3 * 4);
    char* next = out.data() + start;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        const size_t count = std::min<size_t>(3, bytes.size() - i);
        uint32_t group = 0;
        for (size_t k = 0; k < 3; ++k)
            group = group << 8 | (k < count ? static_cast<unsigned char>(bytes[i + k]) : 0u);
        for (size_t k = 0; k < 4; ++k) *next++ = k <= count ? kAlphabet[(group >> (18 - 6 * k)) & 0x3F] : '=';
    }
}

std::string encodeBase64(std::string_view bytes) {
    std::string text;
    appendBase64(text, bytes);
    return text;
}

std::optional<std::string> decodeBase64(std::string_view text) {
    if (text.size() % 4 != 0) return std::nullopt;
    size_t padding = 0;
    if (!text.empty() && text.back() == '=') padding = text.size() >= 2 && text[text.size() - 2] == '=' ? 2 : 1;
    std::string bytes;
    bytes.reserve(text.size() / 4 * 3);
    for (size_t i = 0; i < text.size(); i += 4) {
        const bool last = i + 4 == text.size();
        const size_t digits = last ? 4 - padding : 4;
        uint32_t group = 0;
        for (size_t k = 0; k < 4; ++k) {
            int value = 0;
            if (k < digits) {
                value = kDecodeTable[static_cast<unsigned char>(text[i + k])];
                if (value < 0) return std::nullopt;
            }
            group = group << 6 | static_cast<uint32_t>(value);
        }
        // The bits the padding stands for must be zero, so each byte string has one spelling.
        if (padding == 1 && last && (group & 0xFF) != 0) return std::nullopt;
        if (padding == 2 && last && (group & 0xFFFF) != 0) return std::nullopt;
        for (size_t k = 0; k + 1 < digits; ++k) bytes.push_back(static_cast<char>((group >> (16 - 8 * k)) & 0xFF));
    }
    return bytes;
}

}  // namespace quillmer
