#include "core/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "core/error.h"

namespace quillmer {

namespace {

[[noreturn]] void fail(const std::filesystem::path& file, const std::string& reason, int error) {
    throw FileSystemError("Could not read " + file.string() + ": " + reason,
                          std::error_code(error, std::generic_category()));
}

}  // namespace

RegularFile::RegularFile(const std::filesystem::path& file) {
    fd_ = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd_ < 0) {
        const int error = errno;
        fail(file, std::strerror(error), error);
    }
    struct stat status {};
    if (::fstat(fd_, &status) != 0) {
        const int error = errno;
        ::close(fd_);
        fail(file, std::strerror(error), error);
    }
    if (!S_ISREG(status.st_mode)) {
        ::close(fd_);
        if (S_ISDIR(status.st_mode)) fail(file, std::strerror(EISDIR), EISDIR);
        fail(file, "it is not a regular file", EINVAL);
    }
    // Reads of a regular file never wait anyway; the flag only mattered for the open.
    ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
}

RegularFile::~RegularFile() {
    if (fd_ >= 0) ::close(fd_);
}

std::filesystem::path RegularFile::procPath() const { return "/proc/self/fd/" + std::to_string(fd_); }

}  // namespace quillmer
