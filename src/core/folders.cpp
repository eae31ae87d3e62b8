#include "core/folders.h"

#include "core/error.h"

namespace quillmer {

void createFolders(const std::filesystem::path& folder) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error || !std::filesystem::is_directory(folder))
        throw FileSystemError("Could not create the folder " + folder.string() + ": " +
                                  (error ? error.message() : "a file is in the way"),
                              error);
}

}  // namespace quillmer
