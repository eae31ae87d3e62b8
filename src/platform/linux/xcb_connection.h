#pragma once

#include <xcb/xcb.h>

#include <memory>
#include <string>

namespace quillmer {

// A connection to the X server named by $DISPLAY. XCB rather than Xlib: a lost server or a
// failed request comes back as a value here, where Xlib's process-wide handlers would exit.
class XcbConnection {
public:
    // Throws quillmer::Error when DISPLAY is unset or the server cannot be reached.
    XcbConnection();
    ~XcbConnection();
    XcbConnection(const XcbConnection&) = delete;
    XcbConnection& operator=(const XcbConnection&) = delete;

    xcb_connection_t* get() const { return connection_; }
    xcb_screen_t* screen() const { return screen_; }
    const std::string& displayName() const { return displayName_; }
    bool hasFailed() const { return xcb_connection_has_error(connection_) != 0; }

private:
    std::string displayName_;
    xcb_connection_t* connection_ = nullptr;
    xcb_screen_t* screen_ = nullptr;
};

// Frees an XCB reply (malloc'd by XCB) when it goes out of scope.
struct XcbFree {
    void operator()(void* reply) const { std::free(reply); }
};
template <typename Reply>
using XcbReply = std::unique_ptr<Reply, XcbFree>;

}  // namespace quillmer
