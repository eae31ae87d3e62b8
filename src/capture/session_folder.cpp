#include "capture/session_folder.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

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

SessionFolderLock::SessionFolderLock(const std::filesystem::path& folder)
    : descriptor_(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
    if (descriptor_ >= 0 && ::flock(descriptor_, LOCK_EX) == 0) return;
    const std::error_code error(errno, std::generic_category());
    if (descriptor_ >= 0) ::close(descriptor_);
    throw FileSystemError("Could not lock the session folder " + folder.string() + ": " + error.message(), error);
}

SessionFolderLock::~SessionFolderLock() {
    if (descriptor_ >= 0) ::close(descriptor_);  // closing releases the lock
}

namespace {

namespace fs = std::filesystem;

// True when the folder or anything directly in it changed after `cutoff`, or when that cannot be told.
bool changedSince(const fs::path& folder, fs::file_time_type cutoff) {
    std::error_code error;
    if (fs::last_write_time(folder, error) > cutoff || error) return true;
    for (fs::directory_iterator entry(folder, error), end; !error && entry != end; entry.increment(error)) {
        const auto time = fs::last_write_time(entry->path(), error);
        if (error || time > cutoff) return true;
    }
    return static_cast<bool>(error);
}

// Anything that cannot be inspected counts as present.
bool mayExist(const fs::path& path) {
    std::error_code error;
    return fs::symlink_status(path, error).type() != fs::file_type::not_found;
}

void removeIfAbandoned(const fs::path& folder, fs::file_time_type cutoff) {
    const auto id = Uuid::parse(folder.filename().string());
    std::error_code error;
    if (!id || id->toString() != folder.filename().string() || !fs::is_directory(fs::symlink_status(folder, error)) ||
        mayExist(folder / kSessionManifestFileName))
        return;
    const int descriptor = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
    if (descriptor < 0) return;
    // Held while removing, so an import cannot lock the folder half-way through.
    if (::flock(descriptor, LOCK_EX | LOCK_NB) == 0 && !changedSince(folder, cutoff) &&
        !mayExist(folder / kSessionManifestFileName))
        fs::remove_all(folder, error);
    ::close(descriptor);
}

}  // namespace

void removeAbandonedSessionFolders(const fs::path& root, std::chrono::seconds age) {
    const auto cutoff = fs::file_time_type::clock::now() - age;
    std::error_code error;
    for (fs::directory_iterator entry(root, error), end; !error && entry != end; entry.increment(error))
        removeIfAbandoned(entry->path(), cutoff);
}

}  // namespace quillmer
