#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace quillmer {

struct AtomicWriteOptions {
    // Mode of the new file; by default an existing file's mode is kept, else 0666 less the umask.
    std::optional<mode_t> permissions;
    // False: the file must not exist yet (FileSystemError with EEXIST otherwise); it appears whole
    // or not at all, and never replaces one made in the meantime.
    bool replaceExisting = true;
};

// Replaces `file` as a whole: writes a temporary file in the same folder, flushes it to disk and
// renames it over the target, so a reader (or a crash) sees the old bytes or the new, never a mix.
// Throws FileSystemError; the temporary file never outlives a failure.
void writeFileAtomically(const std::filesystem::path& file, std::string_view bytes,
                         const AtomicWriteOptions& options = {});

// The whole file, which must be a regular file (never a pipe or device). Throws FileSystemError.
std::string readWholeFile(const std::filesystem::path& file);

}  // namespace quillmer
