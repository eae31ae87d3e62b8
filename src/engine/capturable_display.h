#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/capture_service.h"

namespace quillmer {

// A display offered for capture, with its 1-based position in the system's list.
struct CapturableDisplay {
    DisplayDescription display;
    int ordinal = 0;

    uint32_t id() const { return display.displayID; }
    // "Display 1 · 1920 × 1080"
    std::string label() const;

    bool operator==(const CapturableDisplay&) const = default;
};

// Numbers the displays 1, 2, 3… in the order given.
std::vector<CapturableDisplay> makeCapturableDisplays(const std::vector<DisplayDescription>& displays);

}  // namespace quillmer
