#pragma once

#include <filesystem>

namespace quillmer {

// Creates `folder` with any missing parents; an existing folder is fine. Throws FileSystemError
// when it cannot be made or something other than a folder is in the way.
void createFolders(const std::filesystem::path& folder);

}  // namespace quillmer
