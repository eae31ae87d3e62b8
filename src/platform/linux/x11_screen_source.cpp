#include "platform/linux/x11_screen_source.h"

#include <sys/ipc.h>
#include <sys/shm.h>
#include <xcb/shm.h>

#include <cstring>

#include "core/error.h"
#include "platform/capture_clock.h"
#include "platform/capture_sample_queue.h"

namespace quillmer {

// A shared memory segment attached to the X server, into which it writes grabbed images.
class X11ShmImage {
public:
    X11ShmImage(xcb_connection_t* connection, size_t bytes) : connection_(connection) {
        const int id = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
        if (id < 0) throw Error("shared memory unavailable");
        void* data = shmat(id, nullptr, 0);
        if (data == reinterpret_cast<void*>(-1)) {
            shmctl(id, IPC_RMID, nullptr);
            throw Error("shared memory unavailable");
        }
        data_ = static_cast<uint8_t*>(data);
        segment_ = xcb_generate_id(connection);
        xcb_generic_error_t* error = xcb_request_check(connection, xcb_shm_attach_checked(connection, segment_, id, 0));
        // Marked for removal now that the server holds it, so it cannot outlive both processes.
        shmctl(id, IPC_RMID, nullptr);
        if (error) {
            std::free(error);
            shmdt(data_);
            throw Error("the X server could not attach shared memory");
        }
    }
    ~X11ShmImage() {
        if (!xcb_connection_has_error(connection_)) {
            xcb_shm_detach(connection_, segment_);
            xcb_flush(connection_);
        }
        shmdt(data_);
    }
    X11ShmImage(const X11ShmImage&) = delete;
    X11ShmImage& operator=(const X11ShmImage&) = delete;

    xcb_shm_seg_t segment() const { return segment_; }
    const uint8_t* data() const { return data_; }

private:
    xcb_connection_t* connection_;
    xcb_shm_seg_t segment_ = 0;
    uint8_t* data_ = nullptr;
};

namespace {

// Whether root-window images come as 32-bit little-endian pixels with red, green, blue in the
// usual byte places, i.e. BGRA in memory.
bool hasBGRAPixels(const XcbConnection& connection) {
    const xcb_setup_t* setup = xcb_get_setup(connection.get());
    const xcb_screen_t& screen = *connection.screen();
    if (setup->image_byte_order != XCB_IMAGE_ORDER_LSB_FIRST) return false;
    bool thirtyTwoBits = false;
    for (auto formats = xcb_setup_pixmap_formats_iterator(setup); formats.rem > 0; xcb_format_next(&formats)) {
        if (formats.data->depth == screen.root_depth) thirtyTwoBits = formats.data->bits_per_pixel == 32;
    }
    if (!thirtyTwoBits) return false;
    for (auto depths = xcb_screen_allowed_depths_iterator(&screen); depths.rem > 0; xcb_depth_next(&depths)) {
        for (auto visuals = xcb_depth_visuals_iterator(depths.data); visuals.rem > 0; xcb_visualtype_next(&visuals)) {
            const xcb_visualtype_t& visual = *visuals.data;
            if (visual.visual_id != screen.root_visual) continue;
            return visual.red_mask == 0xff0000 && visual.green_mask == 0x00ff00 && visual.blue_mask == 0x0000ff;
        }
    }
    return false;
}

bool serverHasShm(xcb_connection_t* connection) {
    const xcb_query_extension_reply_t* extension = xcb_get_extension_data(connection, &xcb_shm_id);
    return extension && extension->present;
}

// Copies rows of 32-bit pixels, making every pixel opaque (X leaves the fourth byte undefined).
void copyOpaque(const uint8_t* source, size_t sourceBytesPerRow, int width, int height, uint8_t* destination) {
    for (int row = 0; row < height; ++row) {
        const uint8_t* in = source + static_cast<size_t>(row) * sourceBytesPerRow;
        uint8_t* out = destination + static_cast<size_t>(row) * static_cast<size_t>(width) * 4;
        for (int column = 0; column < width; ++column) {
            uint32_t pixel;
            std::memcpy(&pixel, in + column * 4, 4);
            pixel |= 0xff000000u;
            std::memcpy(out + column * 4, &pixel, 4);
        }
    }
}

}  // namespace

X11ScreenSource::X11ScreenSource(const DisplayDescription& display, double minimumFrameIntervalSeconds)
    : frameInterval_(minimumFrameIntervalSeconds > 0 ? minimumFrameIntervalSeconds : 1.0 / 30.0) {
    auto monitor = findX11Monitor(connection_, display.displayID);
    if (!monitor) {
        throw Error("The display " + std::to_string(display.displayID) + " is not connected to the X display \"" +
                    connection_.displayName() + "\".");
    }
    monitor_ = *monitor;
    const DisplayDescription& now = monitor_.display;
    if (display.width > 0 && display.height > 0 && (display.width != now.width || display.height != now.height)) {
        throw Error("The display " + std::to_string(display.displayID) + " changed size to " + std::to_string(now.width) +
                    " × " + std::to_string(now.height) + " after it was listed.");
    }
    if (!hasBGRAPixels(connection_)) {
        throw Error("The X display \"" + connection_.displayName() + "\" uses a pixel format (depth " +
                    std::to_string(connection_.screen()->root_depth) + ") that cannot be captured.");
    }
    if (serverHasShm(connection_.get())) {
        try {
            shm_ = std::make_unique<X11ShmImage>(connection_.get(), static_cast<size_t>(now.width) * now.height * 4);
        } catch (const Error&) {
            // A remote server cannot share memory with us; plain GetImage still works.
        }
    }
}

X11ScreenSource::~X11ScreenSource() { stop(); }

void X11ScreenSource::start(CaptureSampleQueue& queue) {
    thread_.start(frameInterval_, PacedThread::Lateness::skipMissed, [this, &queue](uint64_t, double) {
        CaptureSample sample;
        sample.kind = SampleKind::screen;
        if (!grabInto(sample.video)) {
            queue.reportFailure(failureDescription());
            return false;
        }
        queue.push(std::move(sample));
        return true;
    });
}

void X11ScreenSource::stop() { thread_.stop(); }

bool X11ScreenSource::grabInto(VideoFrame& frame) {
    xcb_connection_t* c = connection_.get();
    const xcb_window_t root = connection_.screen()->root;
    const int width = monitor_.display.width;
    const int height = monitor_.display.height;
    const size_t rowBytes = static_cast<size_t>(width) * 4;
    auto pixels = std::make_shared<std::vector<uint8_t>>(rowBytes * static_cast<size_t>(height));

    frame.presentationSeconds = captureClockSeconds();
    xcb_generic_error_t* error = nullptr;
    if (shm_) {
        XcbReply<xcb_shm_get_image_reply_t> reply(xcb_shm_get_image_reply(
            c,
            xcb_shm_get_image(c, root, static_cast<int16_t>(monitor_.x), static_cast<int16_t>(monitor_.y),
                              static_cast<uint16_t>(width), static_cast<uint16_t>(height), ~0u,
                              XCB_IMAGE_FORMAT_Z_PIXMAP, shm_->segment(), 0),
            &error));
        std::free(error);
        if (!reply) return false;
        copyOpaque(shm_->data(), rowBytes, width, height, pixels->data());
    } else {
        XcbReply<xcb_get_image_reply_t> reply(xcb_get_image_reply(
            c,
            xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, root, static_cast<int16_t>(monitor_.x),
                          static_cast<int16_t>(monitor_.y), static_cast<uint16_t>(width),
                          static_cast<uint16_t>(height), ~0u),
            &error));
        std::free(error);
        if (!reply || static_cast<size_t>(xcb_get_image_data_length(reply.get())) < rowBytes * height) return false;
        copyOpaque(xcb_get_image_data(reply.get()), rowBytes, width, height, pixels->data());
    }
    frame.width = width;
    frame.height = height;
    frame.bytesPerRow = static_cast<int>(rowBytes);
    frame.pixels = std::move(pixels);
    return true;
}

std::string X11ScreenSource::failureDescription() const {
    if (connection_.hasFailed()) return "The X display \"" + connection_.displayName() + "\" closed the connection.";
    return "The display " + std::to_string(monitor_.display.displayID) +
           " can no longer be captured; it was removed or changed size.";
}

}  // namespace quillmer
