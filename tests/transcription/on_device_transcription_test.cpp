// One real run: espeak-ng speech in AAC tracks, FFmpeg decoding, PocketSphinx recognition. The
// recognizer is weak on synthetic voices, so this checks timing and structure, not words.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "capture/session_folder.h"
#include "platform/linux/ffmpeg_audio_track_reader.h"
#include "platform/linux/pocketsphinx_speech_recognizer.h"
#include "support/speech_media.h"
#include "support/temporary_folder.h"
#include "transcription/session_transcriber.h"

namespace quillmer {
namespace {

namespace fs = std::filesystem;
using testing::TemporaryFolder;

struct Window {
    double from;
    double to;
};

TEST(OnDeviceTranscription, RealSpeechLandsInsideItsWindowsOnTheSourceClock) {
    TemporaryFolder media;
    TemporaryFolder session;
    const double first = testing::speak("you need to fix the header on this page", media / "a.wav");
    const double second = testing::speak("can we move this button over here", media / "b.wav", "en-us+f3");
    const double reply = testing::speak("yes I will change the color", media / "c.wav", "en-gb");
    // The system track is long enough for two chunks, with speech on both sides of 55 s.
    testing::makeAudioTrack(session / kSystemAudioFileName, {{2.0, media / "a.wav"}, {57.0, media / "b.wav"}}, 62.0);
    testing::makeAudioTrack(session / kMicrophoneAudioFileName, {{6.0, media / "c.wav"}}, 12.0);

    LocalSessionManifest manifest;
    manifest.id = Uuid::random();
    manifest.createdAt = std::chrono::system_clock::now();
    manifest.videoFile = kScreenVideoFileName;
    manifest.systemAudioFile = kSystemAudioFileName;
    manifest.systemAudioFirstPTSSeconds = 500.0;
    manifest.microphoneAudioFile = kMicrophoneAudioFileName;
    manifest.microphoneAudioFirstPTSSeconds = 500.25;
    writeManifest(session.path(), manifest);

    LocalOnlyRouteDecider route;
    FFmpegAudioTrackReaderFactory audio;
    PocketSphinxRecognizerProvider speech;
    std::vector<TranscriptionProgress> progress;
    const auto transcript = SessionTranscriber(route, audio, speech).transcribe(
        session.path(), "en-US", [&](const TranscriptionProgress& p) { progress.push_back(p); });

    EXPECT_EQ(progress, (std::vector<TranscriptionProgress>{{0, 3}, {1, 3}, {2, 3}, {2, 3}, {3, 3}}));
    EXPECT_EQ(transcript.provider, "pocketsphinx");
    EXPECT_EQ(transcript.schemaVersion, 2);
    EXPECT_EQ(transcript.audioFile, "system-audio.m4a,microphone.m4a");
    EXPECT_EQ(readManifest(session.path()).transcriptFile, "transcript.json");

    const double slack = 0.4;
    const std::vector<Window> systemWindows{{502.0, 502.0 + first}, {557.0, 557.0 + second}};
    const std::vector<Window> microphoneWindows{{506.25, 506.25 + reply}};
    std::map<std::string, int> perTrack;
    std::vector<int> perWindow(2, 0);
    for (const auto& segment : transcript.segments) {
        ASSERT_TRUE(segment.sourceTrack && segment.speaker && segment.confidence);
        EXPECT_GE(*segment.confidence, 0.0);
        EXPECT_LE(*segment.confidence, 1.0);
        EXPECT_GT(segment.durationSeconds, 0.0);
        EXPECT_FALSE(segment.text.empty());
        const bool system = *segment.sourceTrack == "system-audio";
        EXPECT_EQ(segment.speaker->role, system ? "remote" : "self");
        const auto& windows = system ? systemWindows : microphoneWindows;
        const double end = segment.startSeconds + segment.durationSeconds;
        const auto inside = std::find_if(windows.begin(), windows.end(), [&](const Window& w) {
            return segment.startSeconds >= w.from - slack && end <= w.to + slack;
        });
        EXPECT_NE(inside, windows.end()) << segment.text << " at " << segment.startSeconds << " on " << *segment.sourceTrack;
        if (system && inside != windows.end()) ++perWindow[static_cast<size_t>(inside - windows.begin())];
        ++perTrack[*segment.sourceTrack];
    }
    EXPECT_GT(perTrack["system-audio"], 0);
    EXPECT_GT(perTrack["microphone"], 0);
    EXPECT_GT(perWindow[0], 0);
    EXPECT_GT(perWindow[1], 0);  // the second chunk's speech, shifted by 55 s
    EXPECT_TRUE(std::is_sorted(transcript.segments.begin(), transcript.segments.end(),
                               [](const auto& a, const auto& b) { return a.startSeconds < b.startSeconds; }));
}

}  // namespace
}  // namespace quillmer
