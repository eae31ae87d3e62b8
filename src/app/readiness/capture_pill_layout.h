#pragma once

#include <optional>
#include <string>

#include "app/readiness/meeting_surface.h"
#include "core/iso8601.h"

namespace quillmer {

// The three things the floating pill shows.
enum class PillKind { recording, meetingPrompt, postCapture };

struct PillSize {
    int width = 0;
    int height = 0;
    bool operator==(const PillSize&) const = default;
};

// Recording 268 × 54, meeting prompt 360 × 66, post-capture 222 × 54.
PillSize pillContentSize(PillKind kind);

// A monitor's work area (without panels and docks), y growing downwards as on X11.
struct ScreenArea {
    int x = 0, y = 0, width = 0, height = 0;
};
struct PillOrigin {
    int x = 0, y = 0;
    bool operator==(const PillOrigin&) const = default;
};

// The pill's top-right corner sits 24 pixels in from the area's right edge and 22 below its top.
PillOrigin pillOrigin(const ScreenArea& area, PillSize size);

// Whole seconds since `startedAt` (now when unknown), never below zero, as minutes and seconds
// ("75:00" after 75 minutes: minutes are not capped).
std::string recordingElapsedText(std::optional<Timestamp> startedAt, Timestamp now);
std::string recordingAccessibilityLabel(const std::string& elapsed);
// "Zoom detected".
std::string meetingPromptHeadline(MeetingSurface surface);

inline constexpr const char* kRecordingWord = "Recording";
inline constexpr const char* kStopLabel = "Stop";
inline constexpr const char* kPromptQuestion = "Capture this meeting?";
inline constexpr const char* kRecordLabel = "Record";
inline constexpr const char* kConnectZoomLabel = "Connect Zoom";
inline constexpr const char* kReadyToReview = "Ready to review";
inline constexpr const char* kOpenLabel = "Open";
// The tray item while recording.
inline constexpr const char* kStatusItemLabel = " Recording";
inline constexpr const char* kStatusItemAccessibleName = "Quillmer is recording";
inline constexpr const char* kStatusItemTooltip = "Quillmer is recording this computer's screen and audio.";
inline constexpr const char* kStatusItemStop = "Stop Recording";
inline constexpr const char* kStatusItemOpen = "Open Quillmer";

}  // namespace quillmer
