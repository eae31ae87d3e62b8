#include <gtest/gtest.h>

#include <thread>

#include "capture/local_session_manifest.h"
#include "support/engine_test_fixture.h"

namespace quillmer::testing {
namespace {

// The names in `folder`, sorted; none when it does not exist.
std::vector<std::string> folderContents(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    if (!std::filesystem::exists(folder)) return names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST_F(EngineTest, StartsWithNothingAndRefreshDisplaysPublishesTheListOrExplainsWhyThereIsNone) {
    EXPECT_EQ(state().lastFrameTimestamp, "\u2014");
    EXPECT_FALSE(state().frameCount || state().isCapturing || state().lastSessionDirectory || state().errorMessage);
    engine().refreshDisplays();
    ASSERT_EQ(state().displays.size(), 2u);
    EXPECT_EQ(state().displays[0].label() + "; " + state().displays[1].label(),
              "Display 1 \u00B7 1920 \u00D7 1080; Display 2 \u00B7 2560 \u00D7 1440");
    EXPECT_FALSE(state().errorMessage);

    capture.displays.clear();
    for (const auto& message : {"No capturable display is available.",
                                "Quillmer could not load shareable displays: Cannot open display :0."}) {
        engine().refreshDisplays();
        EXPECT_TRUE(state().displays.empty());
        EXPECT_EQ(state().errorMessage, message);
        capture.displaysError = "Cannot open display :0.";
    }
}

// Started with an element of the engine's own display list, which starting replaces.
TEST_F(EngineTest, StartThenStopLeavesAFinishedSessionWithItsTimingFacts) {
    engine().refreshDisplays();
    const auto display = state().displays.at(1);
    engine().startCapture(state().displays.at(1));
    ASSERT_TRUE(state().isCapturing && state().captureStartedAt);
    auto& stream = capture.lastStream();
    const auto& configuration = stream.configuration;
    EXPECT_EQ(std::tie(stream.started, configuration.display, configuration.queueDepth, configuration.capturesAudio,
                       configuration.capturesMicrophone),
              std::make_tuple(true, display.display, 5, true, true));

    stream.deliver(screenSample(100.0));
    stream.deliver(audioSample(SampleKind::systemAudio, 100.02));
    stream.deliver(audioSample(SampleKind::microphone, 100.04, 1));
    writers.ready = false;  // the encoder is busy: the recorder drops what arrives, yet it is counted
    stream.deliver(screenSample(100.5));
    writers.ready = true;
    stream.deliver(screenSample(-1.0, 0, 0));  // not a valid sample: not counted at all
    stream.deliver(screenSample(101.25));
    queue.runPending();
    EXPECT_EQ(std::tie(state().frameCount, state().lastFrameTimestamp), std::make_tuple(3, "101.250s"));

    await([&](auto done) { engine().stopCapture(done); });
    EXPECT_TRUE(stream.stopped);
    EXPECT_FALSE(state().isCapturing || state().captureStartedAt || state().errorMessage);
    EXPECT_TRUE(state().captureCompletedAt);
    const auto folder = state().lastSessionDirectory.value();
    EXPECT_EQ(folder.parent_path(), root / "Sessions");
    auto expected = readManifest(folder);
    expected.displayID = 9, expected.width = 2560, expected.height = 1440, expected.videoFrameCount = 2;
    expected.firstVideoPTSSeconds = 100.0, expected.lastVideoPTSSeconds = 101.25;
    expected.systemAudioFirstPTSSeconds = 100.02, expected.microphoneAudioFirstPTSSeconds = 100.04;
    expected.systemAudioFile = "system-audio.m4a", expected.microphoneAudioFile = "microphone.m4a";
    EXPECT_EQ(readManifest(folder), expected);
    EXPECT_TRUE(expected.endedAt);
    EXPECT_EQ(folderContents(folder),
              (std::vector<std::string>{"microphone.m4a", "screen.mp4", "session.json", "system-audio.m4a"}));
    ASSERT_EQ(state().recentSessions.size(), 1u);
    EXPECT_EQ(state().recentSessions[0].id, folder.filename().string());

    // A new capture forgets this one and its counters; a stop without a capture changes nothing.
    engine().startCapture(firstDisplay());
    EXPECT_EQ(std::tie(state().frameCount, state().lastFrameTimestamp), std::make_tuple(0, "\u2014"));
    EXPECT_FALSE(state().lastSessionDirectory);
    capture.lastStream().deliver(screenSample(3.0));
    await([&](auto done) { engine().stopCapture(done); });
    const auto before = state();
    await([&](auto done) { engine().stopCapture(done); });
    EXPECT_EQ(state(), before);
    EXPECT_NE(state().lastSessionDirectory, folder);
}

// A capture that never wrote a video sample is no meeting: whether it failed to start, failed or
// was stopped before its first frame, its folder goes and nothing is listed. One that recorded
// video is finished and kept however it ends. Each ending says what happened (nothing, if clean).
TEST_F(EngineTest, EveryEndOfACaptureKeepsItsVideoFinishedOrNoFolderAtAll) {
    const std::string nothingKept = "Capture stopped before any video was recorded; nothing was kept.";
    const auto stop = [this] { await([&](auto done) { engine().stopCapture(done); }); };
    const struct {
        const char* name;
        bool video;
        std::function<void()> arrange, end;  // no end: the start fails
        std::optional<std::string> message, stopError = std::nullopt;
    } cases[] = {
        {"output not added", false, [this] { capture.makeStreamError = "The microphone output could not be added."; },
         nullptr, "Capture could not start: The microphone output could not be added."},
        {"no sound server", false, [this] { capture.startError = "Connection refused (PulseAudio)."; }, nullptr,
         "Capture could not start: Connection refused (PulseAudio)."},
        {"writer refused", false, [this] { writers.videoWriterFails = true; }, nullptr,
         "Capture could not start: The local MP4 writer could not accept screen video."},
        {"stopped at once", false, [] {}, stop, nothingKept},
        {"failed with sound only", false, [] {},
         [this] {
             capture.lastStream().deliver(audioSample(SampleKind::systemAudio, 1.0));
             capture.lastStream().fail("The display was disconnected.");
             queue.runUntil([&] { return !state().isCapturing; });
         },
         nothingKept + " The display was disconnected."},
        {"engine gone before video", false, [] {}, [this] { destroyEngine(); }, std::nullopt},
        {"stream failure", true, [] {},
         [&] {
             // From a thread of its own, as from the display server; a stop after it has nothing to do.
             std::thread([&] { capture.lastStream().fail("The display was disconnected."); }).join();
             queue.runUntil([&] { return !state().isCapturing; });
             EXPECT_TRUE(capture.lastStream().stopped);  // the remaining sources are stopped too
             stop();
         },
         "Capture stopped unexpectedly. The recorded portion was saved locally. The display was disconnected."},
        {"failure after stop", true, [] {},
         [&] {
             bool stopped = false;
             engine().stopCapture([&] { stopped = true; });
             capture.lastStream().fail("late failure");
             queue.runUntil([&] { return stopped; });
             queue.runPending();
         },
         std::nullopt},
        {"unclean stop", true, [] {}, stop, "Capture could not stop cleanly: PulseAudio did not drain the microphone.",
         "PulseAudio did not drain the microphone."},
        {"two stops", true, [] {},
         [&] {
             int completions = 0;
             const auto finishedBefore = writers.finishedFiles().size();
             engine().stopCapture([&] { ++completions; });
             engine().stopCapture([&] { ++completions; });
             queue.runUntil([&] { return completions == 2; });
             EXPECT_EQ(writers.finishedFiles().size(), finishedBefore + 1);
         },
         std::nullopt},
        {"engine gone", true, [] {}, [&] { destroyEngine(), queue.runPending(); }, std::nullopt},  // its posted counter does nothing
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        destroyEngine();
        std::filesystem::remove_all(root / "Sessions");
        capture.makeStreamError.reset(), capture.startError.reset(), writers.videoWriterFails = false;
        capture.stopError = c.stopError;
        c.arrange();
        engine().startCapture(firstDisplay());
        EXPECT_EQ(state().isCapturing, c.end != nullptr);
        if (c.video) capture.lastStream().deliver(screenSample(5.0)), capture.lastStream().deliver(screenSample(5.5));
        if (c.end) c.end();
        EXPECT_EQ(state().errorMessage, c.message);
        EXPECT_FALSE(state().isCapturing);
        const auto sessions = folderContents(root / "Sessions");
        ASSERT_EQ(sessions.size(), c.video ? 1u : 0u);
        if (c.video) {
            const auto manifest = readManifest(root / "Sessions" / sessions[0]);
            EXPECT_TRUE(manifest.endedAt && manifest.videoFrameCount == 2);
        } else {
            EXPECT_FALSE(state().lastSessionDirectory || !state().recentSessions.empty());
            EXPECT_TRUE(capture.streamsMade() == 0 || capture.lastStream().destroyed);
        }
    }
}

TEST_F(EngineTest, ObserversHearEveryChangeAndOnlyChanges) {
    int notifications = 0;
    const auto id = engine().addObserver([&] { ++notifications; });
    engine().startCapture(firstDisplay());
    const int afterStart = notifications;
    EXPECT_GE(afterStart, 2);  // displays, reset, capturing
    capture.lastStream().deliver(screenSample(1.0));
    EXPECT_EQ(notifications, afterStart);  // published on the main thread, not the sample queue
    queue.runPending();
    EXPECT_EQ(notifications, afterStart + 1);
    await([&](auto done) { engine().stopCapture(done); });
    EXPECT_GT(notifications, afterStart + 1);

    engine().newSession();
    const int afterNew = notifications;
    engine().newSession();  // nothing left to clear
    engine().removeObserver(id);
    capture.displays.clear();
    engine().refreshDisplays();
    EXPECT_EQ(notifications, afterNew);
}

}  // namespace
}  // namespace quillmer::testing
