#pragma once

#include <filesystem>
#include <vector>

#include "core/error.h"
#include "platform/trash.h"

namespace quillmer::testing {

// Records moves instead of touching the user's Trash (the item is removed); can be told to refuse one item.
class RecordingTrash final : public Trash {
public:
    void moveToTrash(const std::filesystem::path& item) override {
        if (item == refused) throw FileSystemError("refused " + item.string());
        std::filesystem::remove_all(item);
        moved.push_back(item);
    }
    std::vector<std::filesystem::path> moved;
    std::filesystem::path refused;
};

}  // namespace quillmer::testing
