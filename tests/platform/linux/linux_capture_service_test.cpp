#include "platform/linux/linux_capture_service.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <cstring>
#include <functional>
#include <thread>

#include "core/error.h"
#include "platform/capture_clock.h"
#include "support/private_capture_servers.h"
#include "support/recording_stream_delegate.h"

namespace quillmer {
namespace {

using testing::ReceivedSample;
using testing::RecordingStreamDelegate;
using testing::ScopedEnvironment;
using LinuxCaptureServiceTest = testing::PrivateCaptureServersTest;

CaptureStreamConfiguration configurationFor(const DisplayDescription& display, bool withSound = true) {
    CaptureStreamConfiguration configuration;
    configuration.display = display;
    configuration.capturesAudio = configuration.capturesMicrophone = withSound;
    return configuration;
}

std::string makeStreamError(LinuxCaptureService& service, const CaptureStreamConfiguration& configuration) {
    RecordingStreamDelegate delegate;
    try {
        service.makeStream(configuration, delegate);
    } catch (const Error& error) {
        return error.what();
    }
    return "(no error)";
}

// A track's stamps rise and lie on the capture clock between start and stop (audio stamps may sit
// up to the stamper's 50 ms tolerance away from the device's own estimate).
void expectStampedBetween(const std::vector<ReceivedSample>& track, double before, double after) {
    for (size_t i = 1; i < track.size(); ++i) EXPECT_GT(track[i].presentationSeconds, track[i - 1].presentationSeconds);
    EXPECT_GT(track.front().presentationSeconds, before - 0.5);
    EXPECT_LT(track.back().presentationSeconds, after + 0.05);
}

float loudest(const std::vector<ReceivedSample>& buffers) {
    float peak = 0;
    for (const auto& buffer : buffers) peak = std::max(peak, buffer.peak);
    return peak;
}

TEST_F(LinuxCaptureServiceTest, ATwoSecondCaptureDeliversFramesAndBothAudioTracksOnOneClock) {
    soundServer->addMicrophone();
    LinuxCaptureService service;
    const auto displays = service.shareableDisplays();
    ASSERT_EQ(displays.size(), 1u);
    EXPECT_EQ(service.shareableDisplays(), displays) << "the identity is stable";
    RecordingStreamDelegate delegate;
    auto stream = service.makeStream(configurationFor(displays[0]), delegate);

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
    EXPECT_EQ(frames.back().width, 1280);
    EXPECT_EQ(frames.back().height, 720);
    const double span = frames.back().presentationSeconds - frames.front().presentationSeconds;
    EXPECT_LE(static_cast<double>(frames.size() - 1), span * 30.0 + 1.0) << "at most 30 frames a second";
    EXPECT_EQ(microphone.front().channels, 1);
    for (const auto* track : {&frames, &system, &microphone}) expectStampedBetween(*track, before, after);
    EXPECT_GT(loudest(system), 0.2f) << "the tone played into the sink is heard through its monitor";
    EXPECT_GT(loudest(microphone), 0.2f) << "the fake microphone hears the same tone";

    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(delegate.samples().size(), delivered) << "nothing arrives after stop";
}

// A window of one colour (0xRRGGBB), painted by the private X server while the object lives.
class ColouredWindow {
public:
    ColouredWindow(int16_t left, int16_t top, uint16_t width, uint16_t height, uint32_t colour)
        : x_(xcb_connect(nullptr, nullptr)) {
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(x_)).data;
        const xcb_window_t window = xcb_generate_id(x_);
        const uint32_t values[] = {colour, 1};
        xcb_create_window(x_, XCB_COPY_FROM_PARENT, window, screen->root, left, top, width, height, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
        xcb_map_window(x_, window);
        free(xcb_get_input_focus_reply(x_, xcb_get_input_focus(x_), nullptr));  // a round trip: it is mapped
    }
    ~ColouredWindow() { xcb_disconnect(x_); }

private:
    xcb_connection_t* x_;
};

TEST_F(LinuxCaptureServiceTest, FramesShowWhatIsOnScreenAsOpaqueBGRA) {
    const ColouredWindow red(100, 50, 200, 100, 0xff0000);
    LinuxCaptureService service;
    RecordingStreamDelegate delegate;
    auto stream = service.makeStream(configurationFor(service.shareableDisplays().at(0), false), delegate);
    stream->start();
    ASSERT_TRUE(delegate.waitForCount(SampleKind::screen, 1));
    stream->stop();
    EXPECT_TRUE(delegate.samplesOf(SampleKind::systemAudio).empty());
    const auto frame = delegate.lastFrame();
    ASSERT_TRUE(frame && frame->isValid());
    const auto pixel = [&](int x, int y) {
        const uint8_t* p = frame->pixels->data() + static_cast<size_t>(y) * frame->bytesPerRow + x * 4;
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
    EXPECT_EQ(makeStreamError(service, configurationFor({987654, 1280, 720})),
              "The display 987654 is not connected to the X display \"" + xServer->displayName() + "\".");
    EXPECT_EQ(makeStreamError(service, configurationFor({display.displayID, 1920, 1080})),
              "The display " + std::to_string(display.displayID) + " changed size to 1280 × 720 after it was listed.");
    {
        ScopedEnvironment noServer("PULSE_SERVER", "unix:/nonexistent/quillmer/native");
        EXPECT_EQ(makeStreamError(service, configurationFor(display)).rfind("No PulseAudio server is available: ", 0), 0u);
    }
    {
        // A sound server that accepts the connection and never says a word.
        testing::TemporaryFolder folder;
        const int hung = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{AF_UNIX, {}};
        std::strncpy(address.sun_path, (folder / "native").c_str(), sizeof address.sun_path - 1);
        ASSERT_EQ(::bind(hung, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ASSERT_EQ(::listen(hung, 4), 0);
        ScopedEnvironment hungServer("PULSE_SERVER", "unix:" + (folder / "native").string());
        EXPECT_EQ(makeStreamError(service, configurationFor(display)),
                  "No PulseAudio server is available: the server did not answer within 5 seconds.");
        ::close(hung);
    }
    {
        ScopedEnvironment noDisplay("DISPLAY", std::nullopt);
        EXPECT_EQ(makeStreamError(service, configurationFor(display)), "No X display is available: DISPLAY is not set.");
        EXPECT_THROW(service.shareableDisplays(), Error);
    }
    ScopedEnvironment closedDisplay("DISPLAY", ":4093");
    EXPECT_EQ(makeStreamError(service, configurationFor(display)), "The X display \":4093\" could not be opened.");
}

// Runs a full stream until `waitFor` samples flow, ends a server with `kill`, and returns the stop
// reasons the delegate heard. The private server's default source is the null sink's monitor, not
// a real microphone, so the stream must have no microphone track.
std::vector<std::string> stopReasonsAfterLosingAServer(SampleKind waitFor, const std::function<void()>& kill) {
    LinuxCaptureService service;
    RecordingStreamDelegate delegate;
    auto stream = service.makeStream(configurationFor(service.shareableDisplays().at(0)), delegate);
    stream->start();
    EXPECT_TRUE(delegate.waitForCount(waitFor, 2) && delegate.waitForCount(SampleKind::systemAudio, 2));
    EXPECT_TRUE(delegate.samplesOf(SampleKind::microphone).empty());
    kill();
    EXPECT_TRUE(delegate.waitForError());
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // room for a wrong second report
    stream->stop();
    return delegate.errors();
}

TEST_F(LinuxCaptureServiceTest, LosingTheXServerStopsTheStreamOnceWithAReason) {
    const std::string displayName = xServer->displayName();
    EXPECT_EQ(stopReasonsAfterLosingAServer(SampleKind::screen, [&] { xServer->kill(); }),
              std::vector<std::string>{"The X display \"" + displayName + "\" closed the connection."});
}

TEST_F(LinuxCaptureServiceTest, LosingTheSoundServerStopsTheStreamOnceWithAReason) {
    EXPECT_EQ(stopReasonsAfterLosingAServer(SampleKind::systemAudio, [&] { soundServer->kill(); }),
              std::vector<std::string>{"The PulseAudio server closed the connection while recording system audio."});
}

}  // namespace
}  // namespace quillmer
