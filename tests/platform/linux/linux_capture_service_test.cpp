#include "platform/linux/linux_capture_service.h"

#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <functional>
#include <thread>

#include "core/error.h"
#include "platform/capture_clock.h"
#include "support/private_capture_servers.h"
#include "support/recording_stream_delegate.h"

namespace quillmer {
namespace {

using testing::PrivateCaptureServersTest;
using testing::PrivateSoundServer;
using testing::ReceivedSample;
using testing::RecordingStreamDelegate;
using testing::ScopedEnvironment;

CaptureStreamConfiguration configurationFor(const DisplayDescription& display) {
    CaptureStreamConfiguration configuration;
    configuration.display = display;
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

void expectIncreasing(const std::vector<ReceivedSample>& samples, const char* track) {
    for (size_t i = 1; i < samples.size(); ++i) {
        EXPECT_GT(samples[i].presentationSeconds, samples[i - 1].presentationSeconds) << track << " sample " << i;
    }
}

float loudest(const std::vector<ReceivedSample>& buffers) {
    float peak = 0;
    for (const auto& buffer : buffers) peak = std::max(peak, buffer.peak);
    return peak;
}

class LinuxCaptureServiceTest : public PrivateCaptureServersTest {};

TEST_F(LinuxCaptureServiceTest, ListsTheScreenOfThePrivateDisplay) {
    LinuxCaptureService service;
    auto displays = service.shareableDisplays();
    ASSERT_EQ(displays.size(), 1u);
    EXPECT_EQ(displays[0].width, 1280);
    EXPECT_EQ(displays[0].height, 720);
    EXPECT_NE(displays[0].displayID, 0u);
    EXPECT_EQ(service.shareableDisplays(), displays) << "the identity is stable";
}

TEST_F(LinuxCaptureServiceTest, ATwoSecondCaptureDeliversFramesAndBothAudioTracksOnOneClock) {
    soundServer->addMicrophone();
    LinuxCaptureService service;
    const auto display = service.shareableDisplays().at(0);
    RecordingStreamDelegate delegate;
    auto stream = service.makeStream(configurationFor(display), delegate);

    const double before = captureClockSeconds();
    stream->start();
    std::thread tone([&] { soundServer->play(testing::stereoTone(440, 1.5)); });
    std::this_thread::sleep_for(std::chrono::seconds(2));
    tone.join();
    stream->stop();
    const double after = captureClockSeconds();
    const size_t delivered = delegate.samples().size();

    auto frames = delegate.samplesOf(SampleKind::screen);
    auto system = delegate.samplesOf(SampleKind::systemAudio);
    auto microphone = delegate.samplesOf(SampleKind::microphone);
    ASSERT_GE(frames.size(), 2u);
    ASSERT_FALSE(system.empty());
    ASSERT_FALSE(microphone.empty());
    EXPECT_TRUE(delegate.errors().empty()) << delegate.errors().front();
    EXPECT_FALSE(delegate.sawOverlappingDeliveries());

    for (const auto& frame : frames) {
        EXPECT_EQ(frame.width, 1280);
        EXPECT_EQ(frame.height, 720);
    }
    expectIncreasing(frames, "screen");
    const double span = frames.back().presentationSeconds - frames.front().presentationSeconds;
    EXPECT_LE(static_cast<double>(frames.size() - 1), span * 30.0 + 1.0) << "at most 30 frames a second";

    for (const auto& buffer : system) {
        EXPECT_EQ(buffer.sampleRate, 48'000);
        EXPECT_EQ(buffer.channels, 2);
    }
    for (const auto& buffer : microphone) EXPECT_EQ(buffer.channels, 1);
    expectIncreasing(system, "system audio");
    expectIncreasing(microphone, "microphone");
    EXPECT_GT(loudest(system), 0.2f) << "the tone played into the sink is heard through its monitor";
    EXPECT_GT(loudest(microphone), 0.2f) << "the fake microphone hears the same tone";

    // Every track is stamped on the capture clock, between start and stop (audio stamps may sit
    // up to the stamper's 50 ms tolerance away from the device's own estimate).
    for (const auto* track : {&frames, &system, &microphone}) {
        EXPECT_GT(track->front().presentationSeconds, before - 0.5);
        EXPECT_LT(track->back().presentationSeconds, after + 0.05);
    }

    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(delegate.samples().size(), delivered) << "nothing arrives after stop";
}

// A client of the private X server that arranges what is on screen.
class ScreenArranger {
public:
    ScreenArranger() : x_(xcb_connect(nullptr, nullptr)), screen_(xcb_setup_roots_iterator(xcb_get_setup(x_)).data) {}
    ~ScreenArranger() { xcb_disconnect(x_); }

    // A window filled by the server with one colour (0xRRGGBB).
    void showRectangle(int16_t left, int16_t top, uint16_t width, uint16_t height, uint32_t colour) {
        const xcb_window_t window = xcb_generate_id(x_);
        const uint32_t values[] = {colour, 1};
        xcb_create_window(x_, XCB_COPY_FROM_PARENT, window, screen_->root, left, top, width, height, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen_->root_visual,
                          XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
        xcb_map_window(x_, window);
        roundTrip();
    }

private:
    void roundTrip() { free(xcb_get_input_focus_reply(x_, xcb_get_input_focus(x_), nullptr)); }

    xcb_connection_t* x_;
    xcb_screen_t* screen_;
};

std::vector<int> pixelAt(const VideoFrame& frame, int x, int y) {
    const uint8_t* p = frame.pixels->data() + static_cast<size_t>(y) * frame.bytesPerRow + x * 4;
    return {p[0], p[1], p[2], p[3]};
}

const std::vector<int> kOpaqueRed{0, 0, 255, 255};  // blue, green, red, alpha

VideoFrame captureOneFrame(const DisplayDescription& display) {
    LinuxCaptureService service;
    RecordingStreamDelegate delegate;
    auto configuration = configurationFor(display);
    configuration.capturesAudio = false;
    configuration.capturesMicrophone = false;
    auto stream = service.makeStream(configuration, delegate);
    stream->start();
    EXPECT_TRUE(delegate.waitForCount(SampleKind::screen, 1));
    stream->stop();
    EXPECT_TRUE(delegate.samplesOf(SampleKind::systemAudio).empty());
    auto frame = delegate.lastFrame();
    return frame ? *frame : VideoFrame{};
}

TEST_F(LinuxCaptureServiceTest, FramesShowWhatIsOnScreenAsOpaqueBGRA) {
    ScreenArranger arranger;
    arranger.showRectangle(100, 50, 200, 100, 0xff0000);
    VideoFrame frame = captureOneFrame(LinuxCaptureService().shareableDisplays().at(0));
    ASSERT_TRUE(frame.isValid());
    EXPECT_EQ(pixelAt(frame, 150, 100), kOpaqueRed);
    EXPECT_EQ(pixelAt(frame, 299, 149), kOpaqueRed);
    EXPECT_NE(pixelAt(frame, 300, 150), kOpaqueRed);
    EXPECT_EQ(pixelAt(frame, 10, 10)[3], 255);
}

TEST_F(LinuxCaptureServiceTest, WithoutAMicrophoneTheStreamHasNoMicrophoneTrack) {
    // The private server's default source is the null sink's monitor: no real microphone.
    LinuxCaptureService service;
    RecordingStreamDelegate delegate;
    auto stream = service.makeStream(configurationFor(service.shareableDisplays().at(0)), delegate);
    stream->start();
    ASSERT_TRUE(delegate.waitForCount(SampleKind::systemAudio, 10));
    stream->stop();
    EXPECT_TRUE(delegate.samplesOf(SampleKind::microphone).empty());
}

TEST_F(LinuxCaptureServiceTest, AStreamCannotBeMadeForAnUnknownDisplayOrWithoutTheServers) {
    LinuxCaptureService service;
    auto display = service.shareableDisplays().at(0);

    auto unknown = configurationFor({987654, 1280, 720});
    EXPECT_EQ(makeStreamError(service, unknown),
              "The display 987654 is not connected to the X display \"" + xServer->displayName() + "\".");

    auto resized = configurationFor({display.displayID, 1920, 1080});
    EXPECT_EQ(makeStreamError(service, resized),
              "The display " + std::to_string(display.displayID) + " changed size to 1280 × 720 after it was listed.");

    {
        ScopedEnvironment noServer("PULSE_SERVER", "unix:/nonexistent/quillmer/native");
        EXPECT_EQ(makeStreamError(service, configurationFor(display)).rfind("No PulseAudio server is available: ", 0), 0u);
    }
    {
        ScopedEnvironment noDisplay("DISPLAY", std::nullopt);
        EXPECT_EQ(makeStreamError(service, configurationFor(display)), "No X display is available: DISPLAY is not set.");
        EXPECT_THROW(service.shareableDisplays(), Error);
    }
    {
        ScopedEnvironment closedDisplay("DISPLAY", ":4093");
        EXPECT_EQ(makeStreamError(service, configurationFor(display)), "The X display \":4093\" could not be opened.");
    }
}

// Runs a full stream until `waitFor` samples flow, ends a server with `kill`, and returns the
// stop reasons the delegate heard.
std::vector<std::string> stopReasonsAfterLosingAServer(SampleKind waitFor, const std::function<void()>& kill) {
    LinuxCaptureService service;
    RecordingStreamDelegate delegate;
    auto stream = service.makeStream(configurationFor(service.shareableDisplays().at(0)), delegate);
    stream->start();
    EXPECT_TRUE(delegate.waitForCount(waitFor, 2));
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
