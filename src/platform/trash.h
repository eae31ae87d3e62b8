#pragma once

#include <filesystem>

namespace quillmer {

// The user's Trash: moved items stay recoverable until the user empties it.
class Trash {
public:
    virtual ~Trash() = default;
    // Moves a file or a whole folder to the Trash. Throws FileSystemError.
    virtual void moveToTrash(const std::filesystem::path& item) = 0;
};

}  // namespace quillmer
