// One whole capture through the engine on the real X11, PulseAudio and FFmpeg services, against
// a private Xvfb and a null-sink PulseAudio.
#include <gtest/gtest.h>

#include <chrono>

#include "engine/capture_engine.h"
#include "capture/local_session_manifest.h"
#include "core/loop_main_queue.h"
#include "platform/linux/ffmpeg_media_writer_factory.h"
#include "platform/linux/linux_capture_service.h"
#include "platform/linux/posix_process_runner.h"
#include "support/media_probe.h"
#include "support/synthetic_media.h"
#include "support/private_capture_servers.h"
#include "support/recording_trash.h"
#include "support/temporary_folder.h"

namespace quillmer {
namespace {

class RealCaptureTest : public testing::PrivateCaptureServersTest {};

TEST_F(RealCaptureTest, RecordsDecodableScreenAndSystemAudioWithTimingFacts) {
    testing::TemporaryFolder root;
    LinuxCaptureService capture;
    FfmpegMediaWriterFactory writers;
    PosixProcessRunner processes;
    testing::RecordingTrash trash;
    LoopMainQueue queue;
    CaptureEngine engine(CaptureEngineDependencies{capture, writers, processes, trash, queue,
                                                   [&] { return root / "Sessions"; }, [&] { return root / "Exports"; },
                                                   availableProcessingStages()});
    engine.refreshDisplays();
    ASSERT_EQ(engine.state().displays.size(), 1u);

    soundServer->play(testing::makeTestTone(48000, 2, 6.0, 0, 440).samples);

    engine.startCapture(engine.state().displays[0]);
    ASSERT_FALSE(engine.state().errorMessage) << *engine.state().errorMessage;
    ASSERT_TRUE(engine.state().isCapturing);
    // Record until a few seconds of screen and some sound have arrived (the null sink starts late).
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    queue.runUntil([&] { return engine.state().frameCount >= 60; }, deadline);
    queue.runUntil([] { return false; }, std::chrono::steady_clock::now() + std::chrono::seconds(2));
    bool stopped = false;
    engine.stopCapture([&] { stopped = true; });
    queue.runUntil([&] { return stopped; });
    ASSERT_FALSE(engine.state().errorMessage) << *engine.state().errorMessage;

    // Every track is stamped on one clock, and the manifest counts exactly the frames in the file.
    const auto folder = engine.state().lastSessionDirectory.value();
    const auto manifest = readManifest(folder);
    EXPECT_TRUE(manifest.endedAt);
    ASSERT_TRUE(manifest.firstVideoPTSSeconds && manifest.systemAudioFirstPTSSeconds);
    EXPECT_NEAR(*manifest.systemAudioFirstPTSSeconds, *manifest.firstVideoPTSSeconds, 10.0);
    const auto video = testing::probeMedia(folder / "screen.mp4");
    EXPECT_TRUE(video.readable && video.errors.empty()) << video.errors;
    EXPECT_EQ(video.codecName + " " + std::to_string(video.width) + "x" + std::to_string(video.height), "h264 1280x720");
    EXPECT_EQ(static_cast<int>(video.framePTS.size()), manifest.videoFrameCount);
    const auto audio = testing::probeMedia(folder / "system-audio.m4a");
    EXPECT_TRUE(audio.readable && audio.codecName == "aac" && audio.sampleRate == 48000 && audio.channels == 2) << audio.errors;
    EXPECT_GT(audio.durationSeconds, 0.1);
}

}  // namespace
}  // namespace quillmer
