#pragma once

#include <string>
#include <string_view>

namespace quillmer {

// Letters A–Z lower-cased; every other byte, UTF-8 included, as it is. For the protocol and file
// names that compare without case (schemes, hosts, headers, extensions, ids), never for prose.
char asciiLowercased(char c);
std::string asciiLowercased(std::string_view text);

// Equal once both are lower-cased so.
bool equalsIgnoringASCIICase(std::string_view a, std::string_view b);

}  // namespace quillmer
