#include "platform/linux/x11_monitors.h"

#include <xcb/randr.h>

#include "core/error.h"

namespace quillmer {
namespace {

bool serverHasMonitors(xcb_connection_t* connection) {
    const xcb_query_extension_reply_t* extension = xcb_get_extension_data(connection, &xcb_randr_id);
    if (!extension || !extension->present) return false;
    XcbReply<xcb_randr_query_version_reply_t> version(
        xcb_randr_query_version_reply(connection, xcb_randr_query_version(connection, 1, 5), nullptr));
    return version && (version->major_version > 1 || (version->major_version == 1 && version->minor_version >= 5));
}

X11Monitor wholeScreen(const xcb_screen_t& screen) {
    return {{screen.root, screen.width_in_pixels, screen.height_in_pixels}, 0, 0};
}

}  // namespace

std::vector<X11Monitor> readX11Monitors(const XcbConnection& connection) {
    xcb_connection_t* c = connection.get();
    const xcb_screen_t& screen = *connection.screen();
    if (!serverHasMonitors(c)) {
        if (connection.hasFailed()) throw Error("The X display \"" + connection.displayName() + "\" closed the connection.");
        return {wholeScreen(screen)};
    }

    XcbReply<xcb_randr_get_monitors_reply_t> reply(
        xcb_randr_get_monitors_reply(c, xcb_randr_get_monitors(c, screen.root, 1), nullptr));
    if (!reply) throw Error("The X display \"" + connection.displayName() + "\" did not list its monitors.");

    std::vector<X11Monitor> monitors;
    for (auto it = xcb_randr_get_monitors_monitors_iterator(reply.get()); it.rem > 0;
         xcb_randr_monitor_info_next(&it)) {
        const xcb_randr_monitor_info_t& info = *it.data;
        if (info.width == 0 || info.height == 0) continue;
        const uint32_t id = xcb_randr_monitor_info_outputs_length(&info) > 0
                                ? xcb_randr_monitor_info_outputs(&info)[0]
                                : info.name;
        monitors.push_back({{id, info.width, info.height}, info.x, info.y});
    }
    // A server whose outputs are all off still has its screen.
    if (monitors.empty()) monitors.push_back(wholeScreen(screen));
    return monitors;
}

std::optional<X11Monitor> findX11Monitor(const XcbConnection& connection, uint32_t displayID) {
    for (const auto& monitor : readX11Monitors(connection)) {
        if (monitor.display.displayID == displayID) return monitor;
    }
    return std::nullopt;
}

}  // namespace quillmer
