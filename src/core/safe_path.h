#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

namespace quillmer {

// Resolves an untrusted, percent-encoded relative path under `base`. Refuses (nullopt) the base
// itself, anything that climbs out through "..", and anything that leaves the base through a
// symbolic link. Slashes at either end are ignored.
std::optional<std::filesystem::path> resolveUnderBase(const std::filesystem::path& base, std::string_view encodedPath);

}  // namespace quillmer
