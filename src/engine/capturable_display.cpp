#include "engine/capturable_display.h"

namespace quillmer {

std::string CapturableDisplay::label() const {
    return "Display " + std::to_string(ordinal) + " \u00B7 " + std::to_string(display.width) + " \u00D7 " +
           std::to_string(display.height);
}

std::vector<CapturableDisplay> makeCapturableDisplays(const std::vector<DisplayDescription>& displays) {
    std::vector<CapturableDisplay> result;
    result.reserve(displays.size());
    for (const auto& display : displays) result.push_back({display, static_cast<int>(result.size()) + 1});
    return result;
}

}  // namespace quillmer
