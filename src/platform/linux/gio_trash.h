#pragma once

#include "platform/trash.h"

namespace quillmer {

// The freedesktop trash through GIO (honours $XDG_DATA_HOME for the home trash).
class GioTrash final : public Trash {
public:
    void moveToTrash(const std::filesystem::path& item) override;
};

}  // namespace quillmer
