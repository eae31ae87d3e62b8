#include "support/x11_test_windows.h"

#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace quillmer::testing {

X11TestWindows::X11TestWindows() : connection_(xcb_connect(nullptr, nullptr)) {
    if (xcb_connection_has_error(connection_)) throw std::runtime_error("no X server for the test windows");
    root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
    const char* name = "_NET_ACTIVE_WINDOW";
    auto* reply = xcb_intern_atom_reply(
        connection_, xcb_intern_atom(connection_, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
    activeAtom_ = reply ? reply->atom : XCB_NONE;
    std::free(reply);
}

X11TestWindows::~X11TestWindows() { xcb_disconnect(connection_); }

void X11TestWindows::activate(const std::string& instance, const std::string& className, const std::string& title) {
    const std::string key = instance + '\0' + className + '\0' + title;
    auto found = windows_.find(key);
    if (found == windows_.end()) {
        const xcb_window_t window = xcb_generate_id(connection_);
        xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window, root_, 0, 0, 320, 240, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0, nullptr);
        const std::string wmClass = instance + '\0' + className + '\0';
        xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
                            static_cast<uint32_t>(wmClass.size()), wmClass.data());
        xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                            static_cast<uint32_t>(title.size()), title.data());
        xcb_map_window(connection_, window);
        found = windows_.emplace(key, window).first;
    }
    setActive(found->second);
}

void X11TestWindows::deactivate() { setActive(XCB_NONE); }

void X11TestWindows::setActive(xcb_window_t window) {
    xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, root_, activeAtom_, XCB_ATOM_WINDOW, 32, 1, &window);
    // Round trip: the change has reached the server before anyone else reads it.
    std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
}

}  // namespace quillmer::testing
