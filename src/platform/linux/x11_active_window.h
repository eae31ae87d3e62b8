#pragma once

#include <memory>

#include "platform/active_window.h"

namespace quillmer {

class XcbConnection;

// The active window of an X11 session: the root window's _NET_ACTIVE_WINDOW (set by the window
// manager), else the window holding the input focus; then the nearest window up the tree that
// carries a WM_CLASS. Keeps its own connection.
class X11ActiveWindowSource final : public ActiveWindowSource {
public:
    // None outside an X11 session (no $DISPLAY, a Wayland session, an unreachable server).
    static std::unique_ptr<X11ActiveWindowSource> connect();
    ~X11ActiveWindowSource() override;

    std::optional<ActiveWindow> activeWindow() override;

private:
    explicit X11ActiveWindowSource(std::unique_ptr<XcbConnection> connection);
    uint32_t atom(const char* name);

    std::unique_ptr<XcbConnection> connection_;
    uint32_t activeWindowAtom_ = 0;
    uint32_t utf8StringAtom_ = 0;
    uint32_t netWindowNameAtom_ = 0;
};

}  // namespace quillmer
