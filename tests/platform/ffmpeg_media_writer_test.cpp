#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/linux/ffmpeg_media_writer_factory.h"
#include "support/media_probe.h"
#include "support/synthetic_media.h"
#include "support/temporary_folder.h"

namespace quillmer {
namespace {

using testing::findSilence;
using testing::makeTestFrame;
using testing::makeTestTone;
using testing::probeMedia;
using testing::TemporaryFolder;

// Appends as a patient caller would: waits for the writer instead of dropping.
template <typename Writer, typename Sample>
void appendWhenReady(Writer& writer, const Sample& sample) {
    while (!writer.isReadyForMoreMediaData()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_TRUE(writer.append(sample));
}

std::unique_ptr<VideoFileWriter> startedVideoWriter(const std::filesystem::path& file, int width, int height,
                                                   double sessionStart) {
    FfmpegMediaWriterFactory factory;
    auto writer = factory.makeVideoWriter(file, {width, height, 10'000'000});
    if (!writer || !writer->startWriting()) return nullptr;
    writer->startSession(sessionStart);
    return writer;
}

std::unique_ptr<AudioFileWriter> startedAudioWriter(const std::filesystem::path& file,
                                                   const AudioWriterSettings& settings, double sessionStart) {
    FfmpegMediaWriterFactory factory;
    auto writer = factory.makeAudioWriter(file, settings);
    if (!writer || !writer->startWriting()) return nullptr;
    writer->startSession(sessionStart);
    return writer;
}

AudioWriterSettings systemAudioSettings(int sourceRate, int sourceChannels) {
    return {48'000, 2, 192'000, sourceRate, sourceChannels};
}

AudioWriterSettings microphoneSettings(int sourceRate, int sourceChannels) {
    return {48'000, 1, 96'000, sourceRate, sourceChannels};
}

TEST(FfmpegVideoFileWriter, FinishedFileHoldsEveryFrameAsH264AtTheDisplaySize) {
    TemporaryFolder folder;
    const double start = 1000.25;  // a source clock that does not begin at zero
    auto writer = startedVideoWriter(folder / "screen.mp4", 320, 240, start);
    ASSERT_TRUE(writer);
    for (int i = 0; i < 45; ++i) appendWhenReady(*writer, makeTestFrame(320, 240, i, start + i / 30.0));
    writer->markAsFinished();
    writer->finishWriting();

    const auto probe = probeMedia(folder / "screen.mp4");
    ASSERT_TRUE(probe.readable) << probe.errors;
    EXPECT_EQ(probe.errors, "");
    EXPECT_EQ(probe.codecName, "h264");
    EXPECT_EQ(probe.width, 320);
    EXPECT_EQ(probe.height, 240);
    EXPECT_EQ(probe.pixelFormat, "yuv420p");
    ASSERT_EQ(probe.framePTS.size(), 45u);
    EXPECT_NEAR(probe.framePTS.front(), 0.0, 1e-4);
    EXPECT_NEAR(probe.framePTS.back(), 44 / 30.0, 1e-4);
    EXPECT_NEAR(probe.durationSeconds, 1.5, 0.05);
}

TEST(FfmpegVideoFileWriter, KeepsUnevenFrameTimesAndAKeyframeAtLeastEveryTwoSeconds) {
    TemporaryFolder folder;
    auto writer = startedVideoWriter(folder / "screen.mp4", 160, 120, 50);
    ASSERT_TRUE(writer);
    // A busy screen at 30 fps, then a still one delivering a frame now and then.
    std::vector<double> times;
    for (int i = 0; i < 90; ++i) times.push_back(i / 30.0);
    for (double t : {3.2, 3.21, 4.9, 6.95, 7.0, 9.5, 9.533}) times.push_back(t);
    for (size_t i = 0; i < times.size(); ++i)
        appendWhenReady(*writer, makeTestFrame(160, 120, static_cast<int>(i), 50 + times[i]));
    writer->finishWriting();

    const auto probe = probeMedia(folder / "screen.mp4");
    ASSERT_EQ(probe.framePTS.size(), times.size()) << probe.errors;
    for (size_t i = 0; i < times.size(); ++i) EXPECT_NEAR(probe.framePTS[i], times[i], 1.0 / 90'000) << i;
    double lastKeyframe = -1;
    for (size_t i = 0; i < times.size(); ++i) {
        if (probe.keyframes[i]) lastKeyframe = probe.framePTS[i];
        EXPECT_LE(probe.framePTS[i] - lastKeyframe, 2.0 + 1e-6) << "frame " << i;
    }
    EXPECT_TRUE(probe.keyframes.front());
}

TEST(FfmpegVideoFileWriter, OddDisplaySizesAndRepeatedTimesStillMakeAPlayableFile) {
    TemporaryFolder folder;
    auto writer = startedVideoWriter(folder / "screen.mp4", 161, 121, 0);
    ASSERT_TRUE(writer);
    appendWhenReady(*writer, makeTestFrame(161, 121, 0, 0));
    appendWhenReady(*writer, makeTestFrame(161, 121, 1, 0));        // same time again
    appendWhenReady(*writer, makeTestFrame(161, 121, 2, 0.1));
    appendWhenReady(*writer, makeTestFrame(320, 200, 3, 0.2));      // the display changed mode
    writer->finishWriting();

    const auto probe = probeMedia(folder / "screen.mp4");
    EXPECT_EQ(probe.errors, "");
    EXPECT_EQ(probe.width, 160);
    EXPECT_EQ(probe.height, 120);
    ASSERT_EQ(probe.framePTS.size(), 4u);
    EXPECT_LT(probe.framePTS[0], probe.framePTS[1]);
    EXPECT_NEAR(probe.framePTS[3], 0.2, 1e-4);
}

TEST(FfmpegVideoFileWriter, RefusesSettingsNoEncoderTakesAndFilesThatCannotBeCreated) {
    TemporaryFolder folder;
    FfmpegMediaWriterFactory factory;
    EXPECT_FALSE(factory.makeVideoWriter(folder / "screen.mp4", {1, 1, 10'000'000}));
    EXPECT_FALSE(factory.makeVideoWriter(folder / "screen.mp4", {0, 480, 10'000'000}));

    auto writer = factory.makeVideoWriter(folder / "missing" / "screen.mp4", {320, 240, 10'000'000});
    ASSERT_TRUE(writer);
    EXPECT_FALSE(writer->startWriting());
    EXPECT_FALSE(writer->isReadyForMoreMediaData());
    EXPECT_FALSE(writer->append(makeTestFrame(320, 240, 0, 0)));
    writer->finishWriting();
}

TEST(FfmpegAudioFileWriter, SystemAndMicrophoneTracksAreResampledAndRemixedAAC) {
    TemporaryFolder folder;
    struct Case {
        const char* file;
        AudioWriterSettings settings;
        int sourceRate;
        int sourceChannels;
    };
    const Case cases[] = {
        {"system-audio.m4a", systemAudioSettings(44'100, 1), 44'100, 1},
        {"microphone.m4a", microphoneSettings(48'000, 2), 48'000, 2},
        {"resampled-microphone.m4a", microphoneSettings(16'000, 1), 16'000, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        auto writer = startedAudioWriter(folder / c.file, c.settings, 7);
        ASSERT_TRUE(writer);
        for (int i = 0; i < 100; ++i)  // two seconds in 20 ms buffers
            appendWhenReady(*writer, makeTestTone(c.sourceRate, c.sourceChannels, 0.02, 7 + i * 0.02));
        writer->markAsFinished();
        writer->finishWriting();

        const auto probe = probeMedia(folder / c.file);
        ASSERT_TRUE(probe.readable) << probe.errors;
        EXPECT_EQ(probe.errors, "");
        EXPECT_EQ(probe.codecName, "aac");
        EXPECT_EQ(probe.sampleRate, 48'000);
        EXPECT_EQ(probe.channels, c.settings.channels);
        EXPECT_NEAR(probe.startSeconds + probe.durationSeconds, 2.0, 0.002);
        EXPECT_TRUE(findSilence(folder / c.file, 0.1).empty());
    }
}

TEST(FfmpegAudioFileWriter, PlacesBuffersAtTheirSourceTimeAcrossGapsAndOverlaps) {
    TemporaryFolder folder;
    // The session starts at 19.7, but that first buffer was dropped: the track starts at 20.
    auto writer = startedAudioWriter(folder / "system-audio.m4a", systemAudioSettings(48'000, 2), 19.7);
    ASSERT_TRUE(writer);
    appendWhenReady(*writer, makeTestTone(48'000, 2, 1.0, 20));    // 0 .. 1 s
    appendWhenReady(*writer, makeTestTone(48'000, 2, 1.0, 23));    // source paused: 3 .. 4 s
    appendWhenReady(*writer, makeTestTone(48'000, 2, 1.0, 23.5));  // overlaps: only 4 .. 4.5 s is new
    appendWhenReady(*writer, makeTestTone(48'000, 2, 0.5, 24.52)); // jitter, not a gap
    writer->finishWriting();

    const auto probe = probeMedia(folder / "system-audio.m4a");
    EXPECT_EQ(probe.errors, "");
    EXPECT_NEAR(probe.startSeconds + probe.durationSeconds, 5.0, 0.002);
    const auto silence = findSilence(folder / "system-audio.m4a", 0.5);
    ASSERT_EQ(silence.size(), 1u);
    EXPECT_NEAR(silence[0].start, 1.0, 0.05);
    EXPECT_NEAR(silence[0].end, 3.0, 0.05);
}

}  // namespace
}  // namespace quillmer
