#include "core/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "core/error.h"
#include "core/regular_file.h"
#include "core/uuid.h"

namespace quillmer {

namespace {

[[noreturn]] void fail(const std::string& action, const std::filesystem::path& file, int error) {
    throw FileSystemError(action + " " + file.string() + ": " + std::strerror(error),
                          std::error_code(error, std::generic_category()));
}

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(written));
    }
    return true;
}

void syncFolder(const std::filesystem::path& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;  // best effort: the rename itself already happened
    ::fsync(fd);
    ::close(fd);
}

}  // namespace

void writeFileAtomically(const std::filesystem::path& file, std::string_view bytes,
                         const AtomicWriteOptions& options) {
    const auto folder = file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
    // Hidden, unique name in the same folder, so the rename never crosses file systems.
    const auto temporary = folder / ("." + file.filename().string() + "." + Uuid::random().toString() + ".tmp");

    std::optional<mode_t> mode = options.permissions;
    struct stat existing {};
    if (!mode && ::stat(file.c_str(), &existing) == 0) mode = existing.st_mode & 07777;

    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode.value_or(0666));
    if (fd < 0) fail("Could not save", file, errno);

    int error = 0;
    if (mode && ::fchmod(fd, *mode) != 0) error = errno;
    if (!error && !writeAll(fd, bytes)) error = errno;
    if (!error && ::fsync(fd) != 0) error = errno;
    if (::close(fd) != 0 && !error) error = errno;
    if (!error && options.replaceExisting && ::rename(temporary.c_str(), file.c_str()) != 0) error = errno;
    if (!error && !options.replaceExisting) {
        // link() refuses an existing name, where rename() would replace it.
        if (::link(temporary.c_str(), file.c_str()) != 0) error = errno;
        ::unlink(temporary.c_str());
    }
    if (error) {
        ::unlink(temporary.c_str());
        fail("Could not save", file, error);
    }
    syncFolder(folder);
}

std::string readWholeFile(const std::filesystem::path& file) {
    const RegularFile source(file);
    std::string contents;
    char piece[64 * 1024];
    for (;;) {
        const ssize_t count = ::read(source.descriptor(), piece, sizeof piece);
        if (count < 0) {
            if (errno == EINTR) continue;
            fail("Could not read", file, errno);
        }
        if (count == 0) break;
        contents.append(piece, static_cast<size_t>(count));
    }
    return contents;
}

}  // namespace quillmer
