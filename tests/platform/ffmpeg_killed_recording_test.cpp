#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#include <vector>

#include "platform/linux/ffmpeg_media_writer_factory.h"
#include "support/media_probe.h"
#include "support/synthetic_media.h"
#include "support/temporary_folder.h"

namespace quillmer {
namespace {

using testing::makeTestFrame;
using testing::makeTestTone;
using testing::probeMedia;

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

TEST(FfmpegKilledRecording, AProcessKilledMidRecordingLeavesFilesThatPlayToWithinTwoSeconds) {
    testing::TemporaryFolder folder;
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
