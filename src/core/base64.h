#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quillmer {

// Standard base64 (RFC 4648, "+/" alphabet, "=" padding).
std::string encodeBase64(std::string_view bytes);
// The same, written at the end of `out` (one allocation, no intermediate text).
void appendBase64(std::string& out, std::string_view bytes);

// Strict: the length must be a multiple of four, padding only at the end, no white space and no
// stray bits in the last character; anything else is no value.
std::optional<std::string> decodeBase64(std::string_view text);

}  // namespace quillmer
