#include "support/synthetic_capture_service.h"

#include <gtest/gtest.h>

#include "core/error.h"
#include "platform/capture_clock.h"
#include "support/recording_stream_delegate.h"

namespace quillmer {
namespace {

using testing::ReceivedSample;
using testing::RecordingStreamDelegate;
using testing::SyntheticCaptureOptions;
using testing::SyntheticCaptureService;

CaptureStreamConfiguration configurationFor(DisplayDescription display) {
    CaptureStreamConfiguration configuration;
    configuration.display = display;
    configuration.minimumFrameIntervalSeconds = 1.0 / 60.0;
    return configuration;
}

// Checks that buffers of one track follow on without gaps or overlaps.
void expectSeamless(const std::vector<ReceivedSample>& buffers) {
    for (size_t i = 1; i < buffers.size(); ++i) {
        const double expected =
            buffers[i - 1].presentationSeconds + static_cast<double>(buffers[i - 1].audioFrames) / buffers[i - 1].sampleRate;
        EXPECT_NEAR(buffers[i].presentationSeconds, expected, 1e-6) << "buffer " << i;
    }
}

TEST(SyntheticCaptureService, DeliversNumberedFramesOfTheDisplaySizeAtTheConfiguredRate) {
    SyntheticCaptureOptions options;
    options.displays = {{7, 64, 48}};
    options.frameLimit = 12;
    SyntheticCaptureService service(options);
    RecordingStreamDelegate delegate;
    VideoFrame first;
    std::vector<int> numbers;
    delegate.onSample = [&](const CaptureSample& sample) {
        if (sample.kind == SampleKind::screen) numbers.push_back(testing::syntheticFrameNumber(sample.video));
    };
    auto stream = service.makeStream(configurationFor(options.displays[0]), delegate);
    const double before = captureClockSeconds();
    stream->start();
    ASSERT_TRUE(delegate.waitForCount(SampleKind::screen, 12));
    stream->stop();

    auto frames = delegate.samplesOf(SampleKind::screen);
    ASSERT_EQ(frames.size(), 12u);
    // A loaded machine may make the source skip a late frame, but each frame's time always
    // matches its number, and numbers only grow.
    for (size_t i = 0; i < frames.size(); ++i) {
        if (i > 0) {
            EXPECT_GT(numbers[i], numbers[i - 1]);
        }
        EXPECT_EQ(frames[i].width, 64);
        EXPECT_EQ(frames[i].height, 48);
        EXPECT_NEAR(frames[i].presentationSeconds - frames[0].presentationSeconds, (numbers[i] - numbers[0]) / 60.0, 1e-6);
    }
    EXPECT_GE(frames[0].presentationSeconds, before);
    auto last = delegate.lastFrame();
    ASSERT_TRUE(last && last->isValid());
    EXPECT_EQ(last->bytesPerRow, 64 * 4);
}

TEST(SyntheticCaptureService, SystemAudioAndMicrophoneAreSeamlessTonesOnTheSameClock) {
    SyntheticCaptureService service;
    RecordingStreamDelegate delegate;
    auto stream = service.makeStream(configurationFor(service.shareableDisplays().front()), delegate);
    stream->start();
    ASSERT_TRUE(delegate.waitForCount(SampleKind::systemAudio, 10));
    ASSERT_TRUE(delegate.waitForCount(SampleKind::microphone, 10));
    ASSERT_TRUE(delegate.waitForCount(SampleKind::screen, 3));
    stream->stop();

    auto system = delegate.samplesOf(SampleKind::systemAudio);
    auto microphone = delegate.samplesOf(SampleKind::microphone);
    auto frames = delegate.samplesOf(SampleKind::screen);
    EXPECT_EQ(system.front().channels, 2);
    EXPECT_EQ(microphone.front().channels, 1);
    for (const auto& buffer : system) {
        EXPECT_EQ(buffer.sampleRate, 48'000);
        EXPECT_NEAR(buffer.peak, 0.25, 0.01);
    }
    expectSeamless(system);
    expectSeamless(microphone);
    EXPECT_NEAR(system.front().presentationSeconds, frames.front().presentationSeconds, 0.5);
    EXPECT_NEAR(microphone.front().presentationSeconds, frames.front().presentationSeconds, 0.5);
    EXPECT_FALSE(delegate.sawOverlappingDeliveries());
}

TEST(SyntheticCaptureService, OffersNoMicrophoneWhenThereIsNoneOrItIsNotWanted) {
    for (bool hasMicrophone : {false, true}) {
        SyntheticCaptureOptions options;
        options.hasMicrophone = hasMicrophone;
        SyntheticCaptureService service(options);
        RecordingStreamDelegate delegate;
        auto configuration = configurationFor(options.displays[0]);
        configuration.capturesMicrophone = !hasMicrophone;  // asked for but absent, or present but not asked for
        auto stream = service.makeStream(configuration, delegate);
        stream->start();
        ASSERT_TRUE(delegate.waitForCount(SampleKind::systemAudio, 5));
        stream->stop();
        EXPECT_TRUE(delegate.samplesOf(SampleKind::microphone).empty()) << "hasMicrophone " << hasMicrophone;
    }
}

TEST(SyntheticCaptureService, FailsToMakeAStreamWhenAnOutputCannotBeAddedOrTheDisplayIsUnknown) {
    SyntheticCaptureOptions options;
    options.addOutputFailure = "The microphone output could not be added.";
    SyntheticCaptureService failing(options);
    RecordingStreamDelegate delegate;
    EXPECT_THROW(
        {
            try {
                failing.makeStream(configurationFor(options.displays[0]), delegate);
            } catch (const Error& error) {
                EXPECT_STREQ(error.what(), "The microphone output could not be added.");
                throw;
            }
        },
        Error);

    SyntheticCaptureService service;
    EXPECT_THROW(service.makeStream(configurationFor({999, 10, 10}), delegate), Error);
    EXPECT_EQ(service.streamsMade(), 0);

    SyntheticCaptureOptions noDisplays;
    noDisplays.displaysFailure = "The display server is not running.";
    EXPECT_THROW(SyntheticCaptureService(noDisplays).shareableDisplays(), Error);
}

TEST(SyntheticCaptureService, AnInjectedStreamFailureArrivesOnceAfterItsFrames) {
    SyntheticCaptureOptions options;
    options.failAfterFrames = 4;
    SyntheticCaptureService service(options);
    RecordingStreamDelegate delegate;
    auto stream = service.makeStream(configurationFor(options.displays[0]), delegate);
    stream->start();
    ASSERT_TRUE(delegate.waitForError());
    stream->stop();
    EXPECT_EQ(delegate.errors(), std::vector<std::string>{options.failureDescription});
    EXPECT_EQ(delegate.samplesOf(SampleKind::screen).size(), 4u);
}

}  // namespace
}  // namespace quillmer
