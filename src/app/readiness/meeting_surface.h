#pragma once

#include <optional>
#include <string>

#include "platform/active_window.h"

namespace quillmer {

enum class MeetingSurface { zoom, teams, webex, slack, browser, unknown };

// "Zoom", "Microsoft Teams", "Webex", "Slack", "Browser", "No meeting app".
const char* displayName(MeetingSurface surface);
// The freedesktop icon the prompt shows for the surface.
const char* iconName(MeetingSurface surface);

inline constexpr const char* kNoMeetingApplication = "No meeting app detected";

struct ClassifiedWindow {
    MeetingSurface surface = MeetingSurface::unknown;
    std::string applicationName = kNoMeetingApplication;
    bool operator==(const ClassifiedWindow&) const = default;
};

// Which meeting surface the active window belongs to, by its window class (either WM_CLASS part,
// any case). A web-app window of a Chromium browser (a "crx_…" instance) is told apart by its title.
// The application's name is the window class; without one, the surface's name.
ClassifiedWindow classifyActiveWindow(const std::optional<ActiveWindow>& window);

}  // namespace quillmer
