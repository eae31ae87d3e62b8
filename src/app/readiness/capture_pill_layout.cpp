#include "app/readiness/capture_pill_layout.h"

#include <algorithm>
#include <cstdio>

namespace quillmer {

namespace {
constexpr int kRightInset = 24;
constexpr int kTopInset = 22;
}  // namespace

PillSize pillContentSize(PillKind kind) {
    switch (kind) {
        case PillKind::recording: return {268, 54};
        case PillKind::meetingPrompt: return {360, 66};
        case PillKind::postCapture: break;
    }
    return {222, 54};
}

PillOrigin pillOrigin(const ScreenArea& area, PillSize size) {
    return {area.x + area.width - size.width - kRightInset, area.y + kTopInset};
}

std::string recordingElapsedText(std::optional<Timestamp> startedAt, Timestamp now) {
    const auto elapsed = std::chrono::duration_cast<std::chrono::seconds>(now - startedAt.value_or(now)).count();
    const long long seconds = std::max<long long>(0, elapsed);
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%02lld", seconds / 60, seconds % 60);
    return text;
}

std::string recordingAccessibilityLabel(const std::string& elapsed) {
    return "Quillmer is recording this screen. " + elapsed + " elapsed.";
}

std::string meetingPromptHeadline(MeetingSurface surface) { return std::string(displayName(surface)) + " detected"; }

}  // namespace quillmer
