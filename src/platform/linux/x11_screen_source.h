#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/capture_source.h"
#include "platform/linux/x11_monitors.h"
#include "platform/linux/xcb_connection.h"
#include "platform/paced_thread.h"

namespace quillmer {

class X11ShmImage;

// Frames of one X11 monitor, grabbed from the server (through MIT-SHM when the server offers it)
// at most once per minimum frame interval, each stamped with the capture clock at its grab.
class X11ScreenSource : public CaptureSource {
public:
    // Throws quillmer::Error when the display cannot be opened, the monitor does not exist or
    // has changed size, or the server's pixel format is not 32-bit BGRA.
    X11ScreenSource(const DisplayDescription& display, double minimumFrameIntervalSeconds);
    ~X11ScreenSource() override;

    void start(CaptureSampleQueue& queue) override;
    void stop() override;

private:
    bool grabInto(VideoFrame& frame);
    std::string failureDescription() const;

    XcbConnection connection_;
    X11Monitor monitor_;
    double frameInterval_;
    std::unique_ptr<X11ShmImage> shm_;  // absent when the server has no MIT-SHM
    PacedThread thread_;
};

}  // namespace quillmer
