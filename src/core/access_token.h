#pragma once

#include <string>
#include <string_view>

namespace quillmer {

// 64 hexadecimal digits from the system's secure random source, for tokens that guard loopback
// servers. Throws quillmer::Error when no random bytes can be had.
std::string makeAccessToken();

// Compares a presented token with the real one in time independent of where they differ; an
// empty real token never matches.
bool tokensMatch(std::string_view presented, std::string_view token);

}  // namespace quillmer
