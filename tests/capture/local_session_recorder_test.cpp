#include "capture/local_session_recorder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "support/fake_media_writers.h"
#include "support/synthetic_media.h"
#include "support/temporary_folder.h"

namespace quillmer {
namespace {

using testing::FakeMediaWriterFactory;
using testing::makeTestFrame;
using testing::makeTestTone;

// No git anywhere: the manifest simply has no repository.
class NoGitRunner final : public ProcessRunner {
public:
    ProcessResult run(const ProcessRequest&) override { return {}; }
};

std::string fileText(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class LocalSessionRecorderTest : public ::testing::Test {
protected:
    LocalSessionRecorder makeRecorder() { return LocalSessionRecorder(display, root.path(), writers, git); }

    const DisplayDescription display{7, 1920, 1080};
    testing::TemporaryFolder root;
    FakeMediaWriterFactory writers;
    NoGitRunner git;
};

TEST_F(LocalSessionRecorderTest, CreatesTheFolderAndFirstManifestWithTheVideoWriterAtTheDisplaySize) {
    LocalSessionRecorder recorder = makeRecorder();
    EXPECT_EQ(recorder.directory().parent_path(), root.path());
    EXPECT_EQ(recorder.directory().filename().string(), recorder.manifest().id.toString());
    const LocalSessionManifest onDisk = readManifest(recorder.directory());
    EXPECT_EQ(onDisk, recorder.manifest());
    EXPECT_EQ(onDisk.displayID, 7u);
    EXPECT_EQ(onDisk.width, 1920);
    EXPECT_EQ(onDisk.height, 1080);
    EXPECT_EQ(onDisk.videoFile, "screen.mp4");
    EXPECT_EQ(onDisk.videoFrameCount, 0);
    EXPECT_FALSE(onDisk.repository);
    ASSERT_TRUE(writers.videoSettings);
    EXPECT_EQ(writers.videoSettings->width, 1920);
    EXPECT_EQ(writers.videoSettings->height, 1080);
    EXPECT_EQ(writers.videoSettings->averageBitRate, 10'000'000);
    EXPECT_EQ(writers.madeFiles, (std::vector<std::string>{"screen.mp4"}));  // audio waits for samples
}

TEST_F(LocalSessionRecorderTest, RecordsTimingFactsOfAcceptedFramesAndDropsFramesWhileNotReady) {
    LocalSessionRecorder recorder = makeRecorder();
    auto& video = *writers.log("screen.mp4");
    recorder.appendVideo(makeTestFrame(4, 4, 0, 100.0));
    recorder.appendVideo(makeTestFrame(4, 4, 1, 100.033));
    video.ready = false;
    recorder.appendVideo(makeTestFrame(4, 4, 2, 100.066));  // encoder busy: dropped
    video.ready = true;
    recorder.appendVideo(VideoFrame{});                       // not a valid sample
    recorder.appendVideo(makeTestFrame(4, 4, 3, 100.1));

    EXPECT_EQ(video.sessionStart, 100.0);
    EXPECT_EQ(video.appendedTimes, (std::vector<double>{100.0, 100.033, 100.1}));
    EXPECT_EQ(recorder.manifest().firstVideoPTSSeconds, 100.0);
    EXPECT_EQ(recorder.manifest().lastVideoPTSSeconds, 100.1);
    EXPECT_EQ(recorder.manifest().videoFrameCount, 3);

    recorder.finish();
    EXPECT_TRUE(video.markedFinished);
    EXPECT_TRUE(video.finishedWriting);
    const LocalSessionManifest onDisk = readManifest(recorder.directory());
    EXPECT_EQ(onDisk, recorder.manifest());
    EXPECT_TRUE(onDisk.endedAt);
    EXPECT_EQ(onDisk.videoFrameCount, 3);
}

TEST_F(LocalSessionRecorderTest, AFirstFrameWhileNotReadyStartsTheSessionButIsNotCounted) {
    LocalSessionRecorder recorder = makeRecorder();
    writers.log("screen.mp4")->ready = false;
    recorder.appendVideo(makeTestFrame(4, 4, 0, 3.0));
    EXPECT_EQ(recorder.manifest().firstVideoPTSSeconds, 3.0);
    EXPECT_EQ(recorder.manifest().videoFrameCount, 0);
    EXPECT_FALSE(recorder.manifest().lastVideoPTSSeconds);
}

TEST_F(LocalSessionRecorderTest, AVideoWriterThatCannotStartDropsTheFrameAndTriesAgainWithTheNext) {
    LocalSessionRecorder recorder = makeRecorder();
    auto& video = *writers.log("screen.mp4");
    video.startSucceeds = false;
    recorder.appendVideo(makeTestFrame(4, 4, 0, 1.0));
    EXPECT_FALSE(recorder.manifest().firstVideoPTSSeconds);
    video.startSucceeds = true;
    recorder.appendVideo(makeTestFrame(4, 4, 1, 2.0));
    EXPECT_EQ(recorder.manifest().firstVideoPTSSeconds, 2.0);
    EXPECT_EQ(recorder.manifest().videoFrameCount, 1);
}

TEST_F(LocalSessionRecorderTest, ACaptureStoppedBeforeAnyVideoIsNotMarkedEnded) {
    LocalSessionRecorder recorder = makeRecorder();
    recorder.appendAudio(makeTestTone(48'000, 2, 0.02, 1.0), false);
    recorder.finish();

    const LocalSessionManifest onDisk = readManifest(recorder.directory());
    EXPECT_FALSE(onDisk.endedAt);
    EXPECT_FALSE(onDisk.firstVideoPTSSeconds);
    EXPECT_FALSE(onDisk.lastVideoPTSSeconds);
    EXPECT_EQ(onDisk.videoFrameCount, 0);
    EXPECT_FALSE(writers.log("screen.mp4")->markedFinished);
    EXPECT_FALSE(writers.log("system-audio.m4a")->finishedWriting);  // left as it is
}

TEST_F(LocalSessionRecorderTest, AudioTracksAreMadeOnTheirFirstSampleWithSettingsByFileName) {
    LocalSessionRecorder recorder = makeRecorder();
    recorder.appendVideo(makeTestFrame(4, 4, 0, 10.0));
    recorder.appendAudio(AudioBuffer{}, false);  // invalid: no file for it
    EXPECT_EQ(writers.log("system-audio.m4a"), nullptr);

    recorder.appendAudio(makeTestTone(44'100, 1, 0.02, 10.01), false);
    recorder.appendAudio(makeTestTone(16'000, 1, 0.02, 10.02), true);
    const AudioWriterSettings& system = writers.audioSettings.at("system-audio.m4a");
    EXPECT_EQ(system.sampleRate, 48'000);
    EXPECT_EQ(system.channels, 2);
    EXPECT_EQ(system.bitRate, 192'000);
    EXPECT_EQ(system.sourceSampleRate, 44'100);
    EXPECT_EQ(system.sourceChannels, 1);
    const AudioWriterSettings& microphone = writers.audioSettings.at("microphone.m4a");
    EXPECT_EQ(microphone.sampleRate, 48'000);
    EXPECT_EQ(microphone.channels, 1);
    EXPECT_EQ(microphone.bitRate, 96'000);
    EXPECT_EQ(microphone.sourceSampleRate, 16'000);
    EXPECT_EQ(writers.log("system-audio.m4a")->sessionStart, 10.01);
    EXPECT_EQ(writers.log("microphone.m4a")->sessionStart, 10.02);

    recorder.finish();
    EXPECT_TRUE(writers.log("system-audio.m4a")->finishedWriting);
    EXPECT_TRUE(writers.log("microphone.m4a")->finishedWriting);
    EXPECT_EQ(readManifest(recorder.directory()).microphoneAudioFile, "microphone.m4a");
}

TEST_F(LocalSessionRecorderTest, NoMicrophoneSamplesMeansNoMicrophoneFileAndNoKey) {
    LocalSessionRecorder recorder = makeRecorder();
    recorder.appendVideo(makeTestFrame(4, 4, 0, 10.0));
    recorder.appendAudio(makeTestTone(48'000, 2, 0.02, 10.0), false);
    recorder.finish();

    EXPECT_EQ(writers.log("microphone.m4a"), nullptr);
    const std::string json = fileText(recorder.directory() / "session.json");
    EXPECT_EQ(json.find("microphoneAudioFile"), std::string::npos);
    EXPECT_EQ(json.find("microphoneAudioFirstPTSSeconds"), std::string::npos);
    EXPECT_NE(json.find("\"systemAudioFile\" : \"system-audio.m4a\""), std::string::npos) << json;
}

TEST_F(LocalSessionRecorderTest, AnAudioTrackKeepsTheFirstAcceptedSampleTime) {
    writers.audioWritersStartBusy = true;
    LocalSessionRecorder recorder = makeRecorder();
    recorder.appendAudio(makeTestTone(48'000, 2, 0.02, 6.00), false);  // writer busy: dropped
    EXPECT_FALSE(recorder.manifest().systemAudioFirstPTSSeconds);
    EXPECT_FALSE(recorder.manifest().systemAudioFile);

    auto& system = *writers.log("system-audio.m4a");
    system.ready = true;
    recorder.appendAudio(makeTestTone(48'000, 2, 0.02, 6.02), false);
    system.ready = false;
    recorder.appendAudio(makeTestTone(48'000, 2, 0.02, 6.04), false);
    system.ready = true;
    recorder.appendAudio(makeTestTone(48'000, 2, 0.02, 6.06), false);

    EXPECT_EQ(recorder.manifest().systemAudioFirstPTSSeconds, 6.02);
    EXPECT_EQ(recorder.manifest().systemAudioFile, "system-audio.m4a");
    EXPECT_EQ(system.appendedTimes, (std::vector<double>{6.02, 6.06}));
    EXPECT_EQ(writers.madeFiles.size(), 2u);  // one writer for the track, made once
}

TEST_F(LocalSessionRecorderTest, AnAudioWriterThatCannotBeMadeIsTriedAgainOnTheNextSample) {
    writers.audioWriterFailuresLeft = 1;
    LocalSessionRecorder recorder = makeRecorder();
    recorder.appendAudio(makeTestTone(48'000, 1, 0.02, 2.00), true);
    EXPECT_EQ(writers.log("microphone.m4a"), nullptr);
    recorder.appendAudio(makeTestTone(48'000, 1, 0.02, 2.02), true);
    EXPECT_EQ(writers.log("microphone.m4a")->sessionStart, 2.02);
    EXPECT_EQ(recorder.manifest().microphoneAudioFirstPTSSeconds, 2.02);
}

TEST_F(LocalSessionRecorderTest, TimingFactsReachTheDiskBeforeFinish) {
    LocalSessionRecorder recorder = makeRecorder();
    recorder.appendVideo(makeTestFrame(4, 4, 0, 30.5));
    recorder.appendAudio(makeTestTone(48'000, 2, 0.02, 30.51), false);
    recorder.appendAudio(makeTestTone(48'000, 1, 0.02, 30.52), true);
    recorder.appendVideo(makeTestFrame(4, 4, 1, 30.55));

    // As a crash would leave it: no finish().
    const LocalSessionManifest onDisk = readManifest(recorder.directory());
    EXPECT_EQ(onDisk.firstVideoPTSSeconds, 30.5);
    EXPECT_EQ(onDisk.systemAudioFirstPTSSeconds, 30.51);
    EXPECT_EQ(onDisk.systemAudioFile, "system-audio.m4a");
    EXPECT_EQ(onDisk.microphoneAudioFirstPTSSeconds, 30.52);
    EXPECT_EQ(onDisk.microphoneAudioFile, "microphone.m4a");
    EXPECT_FALSE(onDisk.endedAt);
}

TEST_F(LocalSessionRecorderTest, AVideoWriterThatCannotBeMadeFailsConstructionAndLeavesNoFolder) {
    writers.videoWriterFails = true;
    try {
        makeRecorder();
        FAIL() << "no error";
    } catch (const RecorderError& error) {
        EXPECT_EQ(error.kind(), RecorderErrorCase::cannotAddVideoInput);
        EXPECT_STREQ(error.what(), "The local MP4 writer could not accept screen video.");
    }
    EXPECT_TRUE(std::filesystem::is_empty(root.path()));
}

}  // namespace
}  // namespace quillmer
