#include "app/readiness/meeting_surface.h"

#include "core/ascii_case.h"

#include <algorithm>
#include <array>
#include <string_view>
#include <utility>

namespace quillmer {

namespace {

// Window classes of the desktop clients, lower case. Both Teams clients (Microsoft's own, retired,
// and the community "teams-for-linux") are one surface.
constexpr std::array<std::pair<std::string_view, MeetingSurface>, 9> kKnownApplications{{
    {"zoom", MeetingSurface::zoom},
    {"zoom.real", MeetingSurface::zoom},
    {"teams", MeetingSurface::teams},
    {"microsoft teams", MeetingSurface::teams},
    {"microsoft teams - preview", MeetingSurface::teams},
    {"teams-for-linux", MeetingSurface::teams},
    {"webex", MeetingSurface::webex},
    {"ciscocollabhost", MeetingSurface::webex},
    {"slack", MeetingSurface::slack},
}};

constexpr std::array<std::string_view, 12> kBrowsers{
    "google-chrome", "chromium",    "chromium-browser", "firefox", "firefox-esr", "navigator",
    "microsoft-edge", "brave-browser", "vivaldi-stable", "opera",  "epiphany",    "org.gnome.epiphany",
};

// Installed web apps ("crx_<id>" instances); their title names the service.
constexpr std::string_view kWebAppClassPrefix = "crx_";
constexpr std::array<std::pair<std::string_view, MeetingSurface>, 4> kWebAppTitles{{
    {"microsoft teams", MeetingSurface::teams},
    {"zoom", MeetingSurface::zoom},
    {"webex", MeetingSurface::webex},
    {"slack", MeetingSurface::slack},
}};

std::optional<MeetingSurface> knownSurface(const ActiveWindow& window) {
    const std::string names[] = {asciiLowercased(window.className), asciiLowercased(window.instanceName)};
    // First: a Chromium web-app window keeps the browser's class but has an instance of its own.
    for (const std::string& name : names) {
        if (!name.starts_with(kWebAppClassPrefix)) continue;
        const std::string title = asciiLowercased(window.title);
        for (const auto& [service, surface] : kWebAppTitles)
            if (title.find(service) != std::string::npos) return surface;
        return MeetingSurface::browser;
    }
    for (const std::string& name : names)
        for (const auto& [known, surface] : kKnownApplications)
            if (name == known) return surface;
    for (const std::string& name : names)
        if (std::find(kBrowsers.begin(), kBrowsers.end(), name) != kBrowsers.end()) return MeetingSurface::browser;
    return std::nullopt;
}

}  // namespace

const char* displayName(MeetingSurface surface) {
    switch (surface) {
        case MeetingSurface::zoom: return "Zoom";
        case MeetingSurface::teams: return "Microsoft Teams";
        case MeetingSurface::webex: return "Webex";
        case MeetingSurface::slack: return "Slack";
        case MeetingSurface::browser: return "Browser";
        case MeetingSurface::unknown: break;
    }
    return "No meeting app";
}

const char* iconName(MeetingSurface surface) {
    switch (surface) {
        case MeetingSurface::zoom:
        case MeetingSurface::webex: return "camera-video-symbolic";
        case MeetingSurface::teams: return "system-users-symbolic";
        case MeetingSurface::slack: return "user-available-symbolic";
        case MeetingSurface::browser: return "web-browser-symbolic";
        case MeetingSurface::unknown: break;
    }
    return "content-loading-symbolic";
}

ClassifiedWindow classifyActiveWindow(const std::optional<ActiveWindow>& window) {
    if (!window) return {};
    const std::string& name = window->className;
    const auto surface = knownSurface(*window);
    if (!surface) return {MeetingSurface::unknown, name.empty() ? kNoMeetingApplication : name};
    return {*surface, name.empty() ? displayName(*surface) : name};
}

}  // namespace quillmer
