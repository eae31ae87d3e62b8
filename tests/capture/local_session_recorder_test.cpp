#include "capture/local_session_recorder.h"

#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "support/fake_media_writers.h"
#include "support/fake_process_runner.h"
#include "support/synthetic_media.h"
#include "support/temporary_folder.h"

namespace quillmer {
namespace {

using testing::makeTestFrame;
using testing::makeTestTone;

// The recorder's manifest writes on a disk the test can stall: once stalled, a write made during
// the capture waits until the disk is back (at most three seconds).
struct StallingDisk {
    ManifestWriter writer() {
        return [this](const std::filesystem::path& folder, const LocalSessionManifest& manifest) {
            if (stalled && !manifest.endedAt) isBack.wait_for(std::chrono::seconds(3));
            writeManifest(folder, manifest);
            ++writes;
        };
    }
    std::atomic<bool> stalled{false};
    std::promise<void> back;
    std::shared_future<void> isBack = back.get_future().share();
    std::atomic<int> writes{0};
};

class LocalSessionRecorderTest : public ::testing::Test {
protected:
    LocalSessionRecorder makeRecorder() { return LocalSessionRecorder(display, root.path(), writers, git, disk.writer()); }
    testing::FakeWriterLog& video() { return *writers.log("screen.mp4"); }

    const DisplayDescription display{7, 1920, 1080};
    testing::TemporaryFolder root;
    testing::FakeMediaWriterFactory writers;
    testing::UnlaunchableProcessRunner git;
    StallingDisk disk;
};

TEST_F(LocalSessionRecorderTest, CountsOnlyTheFramesTheWriterAcceptedAndTimesTheSessionFromTheFirstStarted) {
    LocalSessionRecorder recorder = makeRecorder();
    // Each frame with what the writer does: start it, take it; a frame it cannot start with is
    // dropped (the next one tries again); one it is not ready for is dropped.
    for (const auto& [starts, ready, seconds] : std::vector<std::tuple<bool, bool, double>>{
             {false, true, 99.0}, {true, false, 100.0}, {true, true, 100.033}, {true, false, 100.066}, {true, true, 100.1}}) {
        video().startSucceeds = starts;
        video().ready = ready;
        recorder.appendVideo(makeTestFrame(4, 4, 0, seconds));
    }
    recorder.appendVideo(VideoFrame{});  // not a valid sample
    EXPECT_EQ(video().sessionStart, 100.0);
    EXPECT_EQ(video().appendedTimes, (std::vector<double>{100.033, 100.1}));
    recorder.finish();
    EXPECT_TRUE(video().markedFinished && video().finishedWriting);
    const LocalSessionManifest onDisk = readManifest(recorder.directory());
    EXPECT_EQ(onDisk, recorder.manifest());
    EXPECT_EQ(std::tie(onDisk.firstVideoPTSSeconds, onDisk.lastVideoPTSSeconds, onDisk.videoFrameCount),
              std::make_tuple(std::optional(100.0), std::optional(100.1), 2));
    EXPECT_TRUE(onDisk.endedAt);
}

TEST_F(LocalSessionRecorderTest, ACaptureStoppedBeforeAnyVideoIsNotMarkedEnded) {
    LocalSessionRecorder recorder = makeRecorder();
    recorder.appendAudio(makeTestTone(48'000, 2, 0.02, 1.0), false);
    recorder.finish();

    const LocalSessionManifest onDisk = readManifest(recorder.directory());
    EXPECT_EQ(onDisk, recorder.manifest());
    EXPECT_FALSE(onDisk.endedAt || onDisk.firstVideoPTSSeconds || onDisk.lastVideoPTSSeconds);
    EXPECT_FALSE(video().markedFinished);
    EXPECT_FALSE(writers.log("system-audio.m4a")->finishedWriting);  // left as it is
}

TEST_F(LocalSessionRecorderTest, AudioTracksKeepTheirFirstAcceptedSampleTimeAndGetSettingsByFileName) {
    writers.audioWritersStartBusy = true;
    writers.audioWriterFailuresLeft = 1;
    LocalSessionRecorder recorder = makeRecorder();
    recorder.appendVideo(makeTestFrame(4, 4, 0, 10.0));
    recorder.appendAudio(AudioBuffer{}, false);                          // invalid: no writer for it
    recorder.appendAudio(makeTestTone(44'100, 1, 0.02, 5.98), false);  // no writer could be made
    EXPECT_EQ(writers.log("system-audio.m4a"), nullptr);
    recorder.appendAudio(makeTestTone(44'100, 1, 0.02, 6.00), false);  // made on a retry, but busy: dropped
    EXPECT_FALSE(recorder.manifest().systemAudioFirstPTSSeconds || recorder.manifest().systemAudioFile);
    auto& system = *writers.log("system-audio.m4a");
    for (const auto& [ready, seconds] : std::vector<std::pair<bool, double>>{{true, 6.02}, {false, 6.04}, {true, 6.06}}) {
        system.ready = ready;
        recorder.appendAudio(makeTestTone(44'100, 1, 0.02, seconds), false);
    }
    writers.audioWritersStartBusy = false;
    recorder.appendAudio(makeTestTone(16'000, 1, 0.02, 6.03), true);
    recorder.finish();

    EXPECT_EQ(system.appendedTimes, (std::vector<double>{6.02, 6.06}));
    const LocalSessionManifest onDisk = readManifest(recorder.directory());
    EXPECT_EQ(std::tie(onDisk.systemAudioFile, onDisk.systemAudioFirstPTSSeconds, onDisk.microphoneAudioFile),
              std::make_tuple(std::optional<std::string>("system-audio.m4a"), std::optional(6.02),
                              std::optional<std::string>("microphone.m4a")));
    EXPECT_TRUE(system.finishedWriting && writers.log("microphone.m4a")->finishedWriting);
    EXPECT_EQ(writers.madeFiles.size(), 3u);  // one writer per track, made once
    const auto settings = [&](const char* file) {
        const AudioWriterSettings& s = writers.audioSettings.at(file);
        return std::vector<int64_t>{s.sampleRate, s.channels, s.bitRate, s.sourceSampleRate, s.sourceChannels};
    };
    EXPECT_EQ(settings("system-audio.m4a"), (std::vector<int64_t>{48'000, 2, 192'000, 44'100, 1}));
    EXPECT_EQ(settings("microphone.m4a"), (std::vector<int64_t>{48'000, 1, 96'000, 16'000, 1}));
}

TEST_F(LocalSessionRecorderTest, TimingFactsReachTheDiskWithoutFinishSoAKilledCaptureStaysUsable) {
    std::optional<LocalSessionRecorder> recorder;
    recorder.emplace(display, root.path(), writers, git, disk.writer());
    recorder->appendVideo(makeTestFrame(4, 4, 0, 30.5));
    recorder->appendAudio(makeTestTone(48'000, 2, 0.02, 30.51), false);
    recorder->appendAudio(makeTestTone(48'000, 1, 0.02, 30.52), true);
    recorder->appendVideo(makeTestFrame(4, 4, 1, 30.55));
    const auto folder = recorder->directory();
    recorder.reset();  // never finished, as a crash leaves it

    const LocalSessionManifest onDisk = readManifest(folder);
    EXPECT_EQ(std::tie(onDisk.firstVideoPTSSeconds, onDisk.systemAudioFirstPTSSeconds, onDisk.microphoneAudioFirstPTSSeconds),
              std::make_tuple(std::optional(30.5), std::optional(30.51), std::optional(30.52)));
    EXPECT_EQ(std::tie(onDisk.systemAudioFile, onDisk.microphoneAudioFile, onDisk.endedAt),
              std::make_tuple(std::optional<std::string>("system-audio.m4a"), std::optional<std::string>("microphone.m4a"),
                              std::nullopt));
}

TEST_F(LocalSessionRecorderTest, AStalledDiskDropsNoSampleAndTheCompleteManifestIsWrittenLast) {
    std::optional<LocalSessionRecorder> recorder;
    recorder.emplace(display, root.path(), writers, git, disk.writer());
    disk.stalled = true;
    for (int i = 0; i < 30; ++i) {
        recorder->appendVideo(makeTestFrame(4, 4, i, 1.0 + i / 30.0));
        recorder->appendAudio(makeTestTone(48'000, 2, 1 / 30.0, 1.0 + i / 30.0), false);
        recorder->appendAudio(makeTestTone(48'000, 1, 1 / 30.0, 1.0 + i / 30.0), true);
    }
    // Every sample went in while the first-sample write was still stuck on the disk.
    EXPECT_EQ(disk.writes, 1) << "only the manifest made at creation is on disk";
    EXPECT_EQ(recorder->manifest().videoFrameCount, 30);
    EXPECT_EQ(writers.log("system-audio.m4a")->appendedTimes.size(), 30u);
    EXPECT_EQ(writers.log("microphone.m4a")->appendedTimes.size(), 30u);

    // The disk comes back while finish() runs; the stale timing-facts writes must not land last.
    std::thread finishing([&] { recorder->finish(); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    disk.back.set_value();
    finishing.join();
    const LocalSessionManifest complete = recorder->manifest();
    const auto folder = recorder->directory();
    recorder.reset();  // nothing of it writes any more
    EXPECT_EQ(readManifest(folder), complete);
    EXPECT_TRUE(complete.endedAt);
}

}  // namespace
}  // namespace quillmer
