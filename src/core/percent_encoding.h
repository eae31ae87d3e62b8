#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quillmer {

// "%20" → " ". Nullopt for a malformed escape or a result that is not valid UTF-8.
std::optional<std::string> percentDecoded(std::string_view text);

// Escapes every byte outside the characters a URL path allows (letters, digits and
// "!$&'()*+,-./:;=@_~"), so "a b/c" → "a%20b/c".
std::string percentEncodedPath(std::string_view text);

}  // namespace quillmer
