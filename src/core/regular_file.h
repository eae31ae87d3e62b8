#pragma once

#include <filesystem>

namespace quillmer {

// An open, read-only descriptor of a regular file; closed when it goes.
class RegularFile {
public:
    // Opens `file` without ever blocking and keeps it only when it is a regular file (checked on the
    // opened descriptor, so after symbolic links and without a race): a pipe would hang in open()
    // and a device (/dev/zero) never ends, and neither is a file anyone meant to pick.
    // Throws FileSystemError.
    explicit RegularFile(const std::filesystem::path& file);
    ~RegularFile();
    RegularFile(const RegularFile&) = delete;
    RegularFile& operator=(const RegularFile&) = delete;

    int descriptor() const { return fd_; }
    // A name for this very open file, for libraries that open by name: whatever is later put at the
    // original path, they read the file that was checked.
    std::filesystem::path procPath() const;

private:
    int fd_ = -1;
};

}  // namespace quillmer
