#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "capture/local_session_recorder.h"
#include "platform/linux/ffmpeg_media_writer_factory.h"
#include "support/fake_process_runner.h"
#include "support/media_probe.h"
#include "support/synthetic_media.h"
#include "support/temporary_folder.h"

namespace quillmer {
namespace {

using testing::makeTestFrame;
using testing::makeTestTone;
using testing::probeMedia;

TEST(LocalSessionRecorderWithFfmpeg, TheFilesHoldExactlyWhatTheManifestCounts) {
    testing::TemporaryFolder root;
    FfmpegMediaWriterFactory writers;
    testing::UnlaunchableProcessRunner git;
    LocalSessionRecorder recorder({3, 320, 180}, root.path(), writers, git);

    // Two seconds at 30 fps, paced like a capture; whatever the writer drops is not counted.
    const double start = 500;
    const auto wallStart = std::chrono::steady_clock::now();
    for (int i = 0; i < 60; ++i) {
        const double t = i / 30.0;
        std::this_thread::sleep_until(wallStart + std::chrono::duration<double>(t));
        recorder.appendVideo(makeTestFrame(320, 180, i, start + t));
        recorder.appendAudio(makeTestTone(44'100, 2, 1 / 30.0, start + 0.01 + t), false);
    }
    recorder.finish();

    const LocalSessionManifest manifest = readManifest(recorder.directory());
    EXPECT_TRUE(manifest.endedAt);
    EXPECT_EQ(manifest.firstVideoPTSSeconds, start);
    EXPECT_EQ(manifest.systemAudioFirstPTSSeconds, start + 0.01);
    EXPECT_FALSE(manifest.microphoneAudioFile);
    EXPECT_FALSE(std::filesystem::exists(recorder.directory() / "microphone.m4a"));

    const auto video = probeMedia(recorder.directory() / "screen.mp4");
    EXPECT_EQ(std::tie(video.errors, video.codecName, video.width, video.height), std::tuple("", "h264", 320, 180));
    ASSERT_EQ(static_cast<int>(video.framePTS.size()), manifest.videoFrameCount);
    ASSERT_TRUE(manifest.lastVideoPTSSeconds);
    EXPECT_NEAR(video.framePTS.back(), *manifest.lastVideoPTSSeconds - start, 1e-4);

    const auto audio = probeMedia(recorder.directory() / "system-audio.m4a");
    EXPECT_EQ(std::tie(audio.errors, audio.codecName, audio.sampleRate, audio.channels), std::tuple("", "aac", 48'000, 2));
    EXPECT_NEAR(audio.startSeconds + audio.durationSeconds, 2.0, 0.05);
}

}  // namespace
}  // namespace quillmer
