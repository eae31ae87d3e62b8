#include "platform/linux/xcb_connection.h"

#include <cstdlib>

#include "core/error.h"

namespace quillmer {

XcbConnection::XcbConnection() {
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display) throw Error("No X display is available: DISPLAY is not set.");
    displayName_ = display;

    int screenNumber = 0;
    connection_ = xcb_connect(display, &screenNumber);
    if (xcb_connection_has_error(connection_)) {
        xcb_disconnect(connection_);
        connection_ = nullptr;
        throw Error("The X display \"" + displayName_ + "\" could not be opened.");
    }
    auto roots = xcb_setup_roots_iterator(xcb_get_setup(connection_));
    for (int i = 0; roots.rem > 0; ++i, xcb_screen_next(&roots)) {
        if (i == screenNumber) {
            screen_ = roots.data;
            break;
        }
    }
    if (!screen_) {
        xcb_disconnect(connection_);
        connection_ = nullptr;
        throw Error("The X display \"" + displayName_ + "\" has no screen " + std::to_string(screenNumber) + ".");
    }
}

XcbConnection::~XcbConnection() {
    if (connection_) xcb_disconnect(connection_);
}

}  // namespace quillmer
