#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

namespace quillmer {

// The one confinement rule. `relativePath` (plain text, not percent-encoded) under `base`, as a
// resolved path; nothing for an empty or absolute path, a NUL byte, the base itself, anything that
// climbs out through "..", and anything that leaves the base through a symbolic link.
std::optional<std::filesystem::path> resolveInside(const std::filesystem::path& base, std::string_view relativePath);

// The same rule for an untrusted, percent-encoded URL path: slashes at either end are ignored.
std::optional<std::filesystem::path> resolveUnderBase(const std::filesystem::path& base, std::string_view encodedPath);

}  // namespace quillmer
