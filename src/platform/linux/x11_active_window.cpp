#include "platform/linux/x11_active_window.h"

#include <cstdlib>
#include <cstring>
#include <string_view>

#include "platform/linux/xcb_connection.h"

namespace quillmer {

namespace {

constexpr int kMaxTreeSteps = 16;
constexpr uint32_t kMaxPropertyWords = 1024;  // 4 KiB: more than any class or title needs

std::optional<std::string> readProperty(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t property,
                                        xcb_atom_t type) {
    XcbReply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, window, property, type, 0, kMaxPropertyWords), nullptr));
    if (!reply || reply->type == XCB_NONE || reply->format != 8) return std::nullopt;
    const auto* bytes = static_cast<const char*>(xcb_get_property_value(reply.get()));
    return std::string(bytes, static_cast<size_t>(xcb_get_property_value_length(reply.get())));
}

// WM_CLASS holds two NUL-terminated strings: instance, then class.
std::optional<ActiveWindow> readClass(xcb_connection_t* connection, xcb_window_t window) {
    const auto value = readProperty(connection, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING);
    if (!value || value->empty()) return std::nullopt;
    ActiveWindow active;
    const size_t end = value->find('\0');
    active.instanceName = value->substr(0, end);
    if (end != std::string::npos) {
        const std::string rest = value->substr(end + 1);
        active.className = rest.substr(0, rest.find('\0'));
    }
    return active;
}

}  // namespace

std::unique_ptr<X11ActiveWindowSource> X11ActiveWindowSource::connect() {
    // Under Wayland an X server serves only the X clients; what it calls active says little.
    if (const char* session = std::getenv("XDG_SESSION_TYPE"); session && std::string_view(session) == "wayland")
        return nullptr;
    try {
        return std::unique_ptr<X11ActiveWindowSource>(new X11ActiveWindowSource(std::make_unique<XcbConnection>()));
    } catch (const std::exception&) {
        return nullptr;
    }
}

X11ActiveWindowSource::X11ActiveWindowSource(std::unique_ptr<XcbConnection> connection)
    : connection_(std::move(connection)) {
    activeWindowAtom_ = atom("_NET_ACTIVE_WINDOW");
    utf8StringAtom_ = atom("UTF8_STRING");
    netWindowNameAtom_ = atom("_NET_WM_NAME");
}

X11ActiveWindowSource::~X11ActiveWindowSource() = default;

uint32_t X11ActiveWindowSource::atom(const char* name) {
    xcb_connection_t* connection = connection_->get();
    XcbReply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr));
    return reply ? reply->atom : XCB_NONE;
}

std::optional<ActiveWindow> X11ActiveWindowSource::activeWindow() {
    if (connection_->hasFailed()) return std::nullopt;
    xcb_connection_t* connection = connection_->get();
    const xcb_window_t root = connection_->screen()->root;

    xcb_window_t window = XCB_NONE;
    {
        XcbReply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
            connection, xcb_get_property(connection, 0, root, activeWindowAtom_, XCB_ATOM_WINDOW, 0, 1), nullptr));
        if (reply && reply->type == XCB_ATOM_WINDOW && reply->format == 32 && xcb_get_property_value_length(reply.get()) >= 4)
            window = *static_cast<const xcb_window_t*>(xcb_get_property_value(reply.get()));
    }
    if (window == XCB_NONE) {
        // No window manager says which is active (a bare X server): the focus holder is.
        XcbReply<xcb_get_input_focus_reply_t> focus(
            xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
        if (focus && focus->focus != XCB_INPUT_FOCUS_POINTER_ROOT) window = focus->focus;
    }

    for (int step = 0; step < kMaxTreeSteps && window != XCB_NONE && window != root; ++step) {
        if (auto active = readClass(connection, window)) {
            auto title = readProperty(connection, window, netWindowNameAtom_, utf8StringAtom_);
            if (!title) title = readProperty(connection, window, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY);
            active->title = title.value_or("");
            return active;
        }
        XcbReply<xcb_query_tree_reply_t> tree(
            xcb_query_tree_reply(connection, xcb_query_tree(connection, window), nullptr));
        if (!tree) return std::nullopt;
        window = tree->parent;
    }
    return std::nullopt;
}

}  // namespace quillmer
