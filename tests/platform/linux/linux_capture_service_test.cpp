#include "platform/linux/linux_capture_service.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <thread>

#include "core/error.h"
#include "platform/capture_clock.h"
#include "support/private_capture_servers.h"
#include "support/recording_stream_delegate.h"
#include "support/thrown.h"

namespace quillmer {
namespace {

using testing::ReceivedSample;
using testing::RecordingStreamDelegate;
using testing::ScopedEnvironment;
using LinuxCaptureServiceTest = testing::PrivateCaptureServersTest;

// A track's stamps rise and lie on the capture clock between start and stop (audio stamps may sit
// up to the stamper's 50 ms tolerance away from the device's own estimate).
void expectStampedBetween(const std::vector<ReceivedSample>& track, double before, double after) {
    for (size_t i = 1; i < track.size(); ++i) EXPECT_GT(track[i].presentationSeconds, track[i - 1].presentationSeconds);
    EXPECT_GT(track.front().presentationSeconds, before - 0.5);
    EXPECT_LT(track.back().presentationSeconds, after + 0.05);
}

TEST_F(LinuxCaptureServiceTest, ATwoSecondCaptureDeliversWhatIsOnScreenAndBothAudioTracksOnOneClock) {
    soundServer->addMicrophone();
    // A red window at (100, 50), 200 × 100, painted by the private X server.
    xcb_connection_t* x = xcb_connect(nullptr, nullptr);
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(x)).data;
    const uint32_t values[] = {0xff0000, 1};
    const xcb_window_t window = xcb_generate_id(x);
    xcb_create_window(x, XCB_COPY_FROM_PARENT, window, screen->root, 100, 50, 200, 100, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                      screen->root_visual, XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
    xcb_map_window(x, window);
    free(xcb_get_input_focus_reply(x, xcb_get_input_focus(x), nullptr));  // a round trip: it is mapped
    LinuxCaptureService service;
    const auto displays = service.shareableDisplays();
    ASSERT_EQ(displays.size(), 1u);
    EXPECT_EQ(service.shareableDisplays(), displays) << "the identity is stable";
    RecordingStreamDelegate delegate;
    auto stream = service.makeStream(CaptureStreamConfiguration{displays[0]}, delegate);

    const double before = captureClockSeconds();
    stream->start();
    soundServer->play(testing::stereoTone(440, 1.5));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    stream->stop();
    const double after = captureClockSeconds();
    const size_t delivered = delegate.samples().size();

    const auto frames = delegate.samplesOf(SampleKind::screen);
    const auto system = delegate.samplesOf(SampleKind::systemAudio);
    const auto microphone = delegate.samplesOf(SampleKind::microphone);
    ASSERT_TRUE(frames.size() >= 2 && !system.empty() && !microphone.empty());
    EXPECT_TRUE(delegate.errors().empty()) << delegate.errors().front();
    EXPECT_FALSE(delegate.sawOverlappingDeliveries());
    EXPECT_EQ(std::tie(frames.back().width, frames.back().height), std::tuple(1280, 720));
    const double span = frames.back().presentationSeconds - frames.front().presentationSeconds;
    EXPECT_LE(static_cast<double>(frames.size() - 1), span * 30.0 + 1.0) << "at most 30 frames a second";
    EXPECT_EQ(microphone.front().channels, 1);
    for (const auto* track : {&frames, &system, &microphone}) expectStampedBetween(*track, before, after);
    const auto loudest = [](const std::vector<ReceivedSample>& buffers) {
        return std::max_element(buffers.begin(), buffers.end(), [](auto& a, auto& b) { return a.peak < b.peak; })->peak;
    };
    EXPECT_GT(loudest(system), 0.2f) << "the tone played into the sink is heard through its monitor";
    EXPECT_GT(loudest(microphone), 0.2f) << "the fake microphone hears the same tone";

    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(delegate.samples().size(), delivered) << "nothing arrives after stop";

    // Frames are opaque BGRA, pixel for pixel where the screen shows them.
    xcb_disconnect(x);
    const auto frame = delegate.lastFrame();
    ASSERT_TRUE(frame && frame->isValid());
    const auto pixel = [&](int left, int top) {
        const uint8_t* p = frame->pixels->data() + static_cast<size_t>(top) * frame->bytesPerRow + left * 4;
        return std::vector<int>{p[0], p[1], p[2], p[3]};
    };
    const std::vector<int> opaqueRed{0, 0, 255, 255};  // blue, green, red, alpha
    EXPECT_EQ(pixel(150, 100), opaqueRed);
    EXPECT_EQ(pixel(299, 149), opaqueRed);
    EXPECT_NE(pixel(300, 150), opaqueRed);
    EXPECT_EQ(pixel(10, 10)[3], 255);
}

TEST_F(LinuxCaptureServiceTest, AStreamCannotBeMadeForAnUnknownDisplayOrWithoutAnsweringServers) {
    LinuxCaptureService service;
    const auto display = service.shareableDisplays().at(0);
    // A sound server that accepts the connection and never says a word.
    testing::TemporaryFolder folder;
    const int hung = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{AF_UNIX, {}};
    std::strncpy(address.sun_path, (folder / "native").c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(hung, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(hung, 4), 0);
    const struct {
        DisplayDescription display;
        const char* variable;
        std::optional<std::string> value;
        std::string error;
    } cases[] = {
        {{987654, 1280, 720}, "DISPLAY", xServer->displayName(),
         "The display 987654 is not connected to the X display \"" + xServer->displayName() + "\"."},
        {{display.displayID, 1920, 1080}, "DISPLAY", xServer->displayName(),
         "The display " + std::to_string(display.displayID) + " changed size to 1280 × 720 after it was listed."},
        {display, "PULSE_SERVER", "unix:/nonexistent/quillmer/native", "No PulseAudio server is available: Connection refused."},
        {display, "PULSE_SERVER", "unix:" + (folder / "native").string(),
         "No PulseAudio server is available: the server did not answer within 5 seconds."},
        {display, "DISPLAY", std::nullopt, "No X display is available: DISPLAY is not set."},
        {display, "DISPLAY", ":4093", "The X display \":4093\" could not be opened."},
    };
    for (const auto& c : cases) {
        ScopedEnvironment environment(c.variable, c.value);
        RecordingStreamDelegate delegate;
        const auto error = testing::thrown<Error>([&] { service.makeStream(CaptureStreamConfiguration{c.display}, delegate); });
        EXPECT_EQ(error ? error->what() : "", c.error);
    }
    ::close(hung);
}

// Runs a full stream until `waitFor` samples flow, ends a server with `kill`, and returns the stop
// reasons the delegate heard. The private server's default source is the null sink's monitor, not
// a real microphone, so the stream must have no microphone track.
std::vector<std::string> stopReasonsAfterLosingAServer(SampleKind waitFor, const std::function<void()>& kill) {
    LinuxCaptureService service;
    RecordingStreamDelegate delegate;
    auto stream = service.makeStream(CaptureStreamConfiguration{service.shareableDisplays().at(0)}, delegate);
    stream->start();
    EXPECT_TRUE(delegate.waitForCount(waitFor, 2) && delegate.waitForCount(SampleKind::systemAudio, 2));
    EXPECT_TRUE(delegate.samplesOf(SampleKind::microphone).empty());
    kill();
    EXPECT_TRUE(delegate.waitForError());
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // room for a wrong second report
    stream->stop();
    return delegate.errors();
}

TEST_F(LinuxCaptureServiceTest, LosingAServerStopsTheStreamOnceWithAReason) {
    const std::string displayName = xServer->displayName();
    EXPECT_EQ(stopReasonsAfterLosingAServer(SampleKind::screen, [&] { xServer->kill(); }),
              std::vector<std::string>{"The X display \"" + displayName + "\" closed the connection."});
    xServer.emplace();
    EXPECT_EQ(stopReasonsAfterLosingAServer(SampleKind::systemAudio, [&] { soundServer->kill(); }),
              std::vector<std::string>{"The PulseAudio server closed the connection while recording system audio."});
}

}  // namespace
}  // namespace quillmer
