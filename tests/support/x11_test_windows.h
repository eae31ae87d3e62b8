#pragma once

#include <xcb/xcb.h>

#include <map>
#include <string>

namespace quillmer::testing {

// Real windows on the X server named by $DISPLAY, made active the way a window manager does it
// (the root window's _NET_ACTIVE_WINDOW), so readiness sees what a user switching windows makes.
class X11TestWindows {
public:
    X11TestWindows();
    ~X11TestWindows();
    X11TestWindows(const X11TestWindows&) = delete;
    X11TestWindows& operator=(const X11TestWindows&) = delete;

    // Maps a window with this WM_CLASS (instance and class) and title, once per triple, and
    // makes it the active window.
    void activate(const std::string& instance, const std::string& className, const std::string& title = "");
    // No window is active.
    void deactivate();

private:
    void setActive(xcb_window_t window);

    xcb_connection_t* connection_;
    xcb_window_t root_ = 0;
    xcb_atom_t activeAtom_ = 0;
    std::map<std::string, xcb_window_t> windows_;
};

}  // namespace quillmer::testing
