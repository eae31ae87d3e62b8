#include "capture/session_folder.h"

#include "core/error.h"
#include "platform/application_paths.h"

namespace quillmer {

std::filesystem::path sessionsRoot() { return sessionsDirectory(); }

std::filesystem::path sessionFolder(const std::filesystem::path& root, const Uuid& id) {
    return root / id.toString();
}

std::filesystem::path createSessionFolder(const std::filesystem::path& root, const Uuid& id) {
    const auto folder = sessionFolder(root, id);
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) throw FileSystemError("Could not create the session folder " + folder.string() + ": " + error.message(), error);
    return folder;
}

}  // namespace quillmer
