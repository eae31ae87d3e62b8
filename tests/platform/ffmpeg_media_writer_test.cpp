#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "platform/linux/ffmpeg_media_writer_factory.h"
#include "support/media_probe.h"
#include "support/synthetic_media.h"
#include "support/temporary_folder.h"

namespace quillmer {
namespace {

using testing::makeTestFrame;
using testing::makeTestTone;
using testing::probeMedia;

// A writer that has started, with its session at `sessionStart`; null when it could not start.
template <typename Writer>
std::unique_ptr<Writer> started(std::unique_ptr<Writer> writer, double sessionStart) {
    if (!writer || !writer->startWriting()) return nullptr;
    writer->startSession(sessionStart);
    return writer;
}

// Appends as a patient caller would: waits for the writer instead of dropping.
template <typename Writer, typename Sample>
void appendWhenReady(Writer& writer, const Sample& sample) {
    while (!writer.isReadyForMoreMediaData()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_TRUE(writer.append(sample));
}

class FfmpegMediaWriterTest : public ::testing::Test {
protected:
    std::unique_ptr<VideoFileWriter> video(int width, int height, double start) {
        return started(factory.makeVideoWriter(folder / "screen.mp4", {width, height, 10'000'000}), start);
    }
    testing::TemporaryFolder folder;
    FfmpegMediaWriterFactory factory;
};

// A source clock that does not begin at zero, a busy screen at 30 fps, then a still one that
// delivers a frame now and then: every frame at its time, a keyframe at least every two seconds.
TEST_F(FfmpegMediaWriterTest, VideoKeepsEveryFrameAtItsTimeAsH264) {
    const double start = 1000.25;
    auto writer = video(320, 240, start);
    ASSERT_TRUE(writer);
    std::vector<double> times;
    for (int i = 0; i < 90; ++i) times.push_back(i / 30.0);
    for (double t : {3.2, 3.21, 4.9, 6.95, 7.0, 9.5, 9.533}) times.push_back(t);
    for (size_t i = 0; i < times.size(); ++i) appendWhenReady(*writer, makeTestFrame(320, 240, static_cast<int>(i), start + times[i]));
    writer->markAsFinished();
    writer->finishWriting();

    const auto probe = probeMedia(folder / "screen.mp4");
    ASSERT_TRUE(probe.readable) << probe.errors;
    EXPECT_EQ(std::tie(probe.errors, probe.codecName, probe.width, probe.height, probe.pixelFormat),
              std::tuple("", "h264", 320, 240, "yuv420p"));
    ASSERT_EQ(probe.framePTS.size(), times.size());
    double lastKeyframe = -1;
    for (size_t i = 0; i < times.size(); ++i) {
        EXPECT_NEAR(probe.framePTS[i], times[i], 1.0 / 90'000) << i;
        if (probe.keyframes[i]) lastKeyframe = probe.framePTS[i];
        EXPECT_LE(probe.framePTS[i] - lastKeyframe, 2.0 + 1e-6) << "frame " << i;
    }
}

TEST_F(FfmpegMediaWriterTest, OddSizesRepeatedTimesAndModeChangesStillPlayAndUnusableSizesAreRefused) {
    EXPECT_FALSE(factory.makeVideoWriter(folder / "screen.mp4", {1, 1, 10'000'000}));
    EXPECT_FALSE(factory.makeVideoWriter(folder / "screen.mp4", {0, 480, 10'000'000}));
    EXPECT_FALSE(started(factory.makeVideoWriter(folder / "missing" / "screen.mp4", {320, 240, 10'000'000}), 0));

    auto writer = video(161, 121, 0);
    ASSERT_TRUE(writer);
    appendWhenReady(*writer, makeTestFrame(161, 121, 0, 0));
    appendWhenReady(*writer, makeTestFrame(161, 121, 1, 0));    // same time again
    appendWhenReady(*writer, makeTestFrame(161, 121, 2, 0.1));
    appendWhenReady(*writer, makeTestFrame(320, 200, 3, 0.2));  // the display changed mode
    writer->finishWriting();

    const auto probe = probeMedia(folder / "screen.mp4");
    EXPECT_EQ(std::tie(probe.errors, probe.width, probe.height), std::tuple("", 160, 120));
    ASSERT_EQ(probe.framePTS.size(), 4u);
    EXPECT_LT(probe.framePTS[0], probe.framePTS[1]);
    EXPECT_NEAR(probe.framePTS[3], 0.2, 1e-4);
}

TEST_F(FfmpegMediaWriterTest, AudioIsResampledAndRemixedAAC) {
    struct Case {
        const char* file;
        int channels, sourceRate, sourceChannels;
    };
    for (const Case& c : {Case{"system-audio.m4a", 2, 44'100, 1}, Case{"microphone.m4a", 1, 48'000, 2},
                          Case{"resampled-microphone.m4a", 1, 16'000, 1}}) {
        SCOPED_TRACE(c.file);
        auto writer = started(factory.makeAudioWriter(folder / c.file, {48'000, c.channels, c.channels * 96'000,
                                                                        c.sourceRate, c.sourceChannels}),
                              7);
        ASSERT_TRUE(writer);
        for (int i = 0; i < 100; ++i)  // two seconds in 20 ms buffers
            appendWhenReady(*writer, makeTestTone(c.sourceRate, c.sourceChannels, 0.02, 7 + i * 0.02));
        writer->markAsFinished();
        writer->finishWriting();

        const auto probe = probeMedia(folder / c.file);
        EXPECT_EQ(std::tie(probe.errors, probe.codecName, probe.sampleRate, probe.channels), std::tuple("", "aac", 48'000, c.channels));
        EXPECT_NEAR(probe.startSeconds + probe.durationSeconds, 2.0, 0.002);
        EXPECT_TRUE(testing::findSilence(folder / c.file, 0.1).empty());
    }
}

TEST_F(FfmpegMediaWriterTest, AudioBuffersLandAtTheirSourceTimeAcrossGapsAndOverlaps) {
    // The session starts at 19.7, but that first buffer was dropped: the track starts at 20.
    auto writer = started(factory.makeAudioWriter(folder / "system-audio.m4a", {48'000, 2, 192'000, 48'000, 2}), 19.7);
    ASSERT_TRUE(writer);
    appendWhenReady(*writer, makeTestTone(48'000, 2, 1.0, 20));     // 0 .. 1 s
    appendWhenReady(*writer, makeTestTone(48'000, 2, 1.0, 23));     // source paused: 3 .. 4 s
    appendWhenReady(*writer, makeTestTone(48'000, 2, 1.0, 23.5));   // overlaps: only 4 .. 4.5 s is new
    appendWhenReady(*writer, makeTestTone(48'000, 2, 0.5, 24.52));  // jitter, not a gap
    writer->finishWriting();

    const auto probe = probeMedia(folder / "system-audio.m4a");
    EXPECT_EQ(probe.errors, "");
    EXPECT_NEAR(probe.startSeconds + probe.durationSeconds, 5.0, 0.002);
    const auto silence = testing::findSilence(folder / "system-audio.m4a", 0.5);
    ASSERT_EQ(silence.size(), 1u);
    EXPECT_NEAR(silence[0].start, 1.0, 0.05);
    EXPECT_NEAR(silence[0].end, 3.0, 0.05);
}

constexpr double kKillAfterSeconds = 4.5;
constexpr double kMostLostSeconds = 2.0;

// The child: records 30 fps of screen and matching system audio in real time, and after each
// accepted frame tells the parent its time through `progress`. It never finishes: it is killed.
[[noreturn]] void recordUntilKilled(const std::filesystem::path& folder, int progress) {
    FfmpegMediaWriterFactory factory;
    auto video = factory.makeVideoWriter(folder / "screen.mp4", {320, 240, 10'000'000});
    auto audio = factory.makeAudioWriter(folder / "system-audio.m4a", {48'000, 2, 192'000, 48'000, 2});
    if (!video || !audio || !video->startWriting() || !audio->startWriting()) _exit(2);
    video->startSession(0);
    audio->startSession(0);
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 30 * 60; ++i) {
        const double t = i / 30.0;
        std::this_thread::sleep_until(start + std::chrono::duration<double>(t));
        if (audio->isReadyForMoreMediaData()) audio->append(makeTestTone(48'000, 2, 1 / 30.0, t));
        if (video->isReadyForMoreMediaData() && video->append(makeTestFrame(320, 240, i, t))) {
            if (write(progress, &t, sizeof t) != sizeof t) _exit(3);
        }
    }
    _exit(4);  // the parent should have killed us long before
}

TEST_F(FfmpegMediaWriterTest, AProcessKilledMidRecordingLeavesFilesThatPlayToWithinTwoSeconds) {
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(fds[0]);
        recordUntilKilled(folder.path(), fds[1]);
    }
    close(fds[1]);
    std::vector<double> accepted;
    while (accepted.empty() || accepted.back() < kKillAfterSeconds) {
        double t = 0;
        if (read(fds[0], &t, sizeof t) != sizeof t) break;
        accepted.push_back(t);
    }
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    close(fds[0]);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the child stopped on its own with " << WEXITSTATUS(status);
    ASSERT_FALSE(accepted.empty());
    const double lastAccepted = accepted.back();
    ASSERT_GE(lastAccepted, kKillAfterSeconds);

    const auto video = probeMedia(folder / "screen.mp4");
    ASSERT_TRUE(video.readable) << video.errors;
    EXPECT_EQ(video.codecName, "h264");
    ASSERT_FALSE(video.framePTS.empty()) << video.errors;
    EXPECT_NEAR(video.framePTS.front(), 0, 1e-4);
    EXPECT_GE(video.framePTS.back(), lastAccepted - kMostLostSeconds);
    // Every accepted frame up to the cut is there, at its time (a busy machine may drop some).
    ASSERT_LE(video.framePTS.size(), accepted.size());
    for (size_t i = 0; i < video.framePTS.size(); ++i) EXPECT_NEAR(video.framePTS[i], accepted[i], 1e-4);

    const auto audio = probeMedia(folder / "system-audio.m4a");
    ASSERT_TRUE(audio.readable) << audio.errors;
    EXPECT_EQ(audio.codecName, "aac");
    ASSERT_FALSE(audio.framePTS.empty()) << audio.errors;
    EXPECT_GE(audio.framePTS.back(), lastAccepted - kMostLostSeconds);
}

}  // namespace
}  // namespace quillmer
