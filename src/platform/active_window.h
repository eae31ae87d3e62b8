#pragma once

#include <optional>
#include <string>

namespace quillmer {

// The application window the user is working in, as the desktop names it.
struct ActiveWindow {
    std::string instanceName;  // WM_CLASS instance part ("zoom", "Navigator")
    std::string className;     // WM_CLASS class part ("zoom", "firefox"); the application's name on X11
    std::string title;
};

// Which window is in front. Called on the main thread, about once a second.
class ActiveWindowSource {
public:
    virtual ~ActiveWindowSource() = default;
    // None when no window is active or it cannot be read.
    virtual std::optional<ActiveWindow> activeWindow() = 0;
};

}  // namespace quillmer
