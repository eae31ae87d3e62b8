#pragma once

#include <optional>
#include <vector>

#include "platform/capture_service.h"
#include "platform/linux/xcb_connection.h"

namespace quillmer {

// A monitor of the X screen: what is offered for capture, and where it sits on the root window.
struct X11Monitor {
    DisplayDescription display;
    int x = 0;
    int y = 0;
};

// The screen's active RandR monitors in the order the server lists them. `displayID` is the
// monitor's first RandR output, or its name atom for a monitor without outputs. A server without
// RandR 1.5 (or with no active monitor) offers the whole screen as one monitor identified by its root window.
// Throws quillmer::Error when the server cannot be asked.
std::vector<X11Monitor> readX11Monitors(const XcbConnection& connection);

std::optional<X11Monitor> findX11Monitor(const XcbConnection& connection, uint32_t displayID);

}  // namespace quillmer
