// Utterance segments, and one real run: flite speech in AAC tracks, FFmpeg decoding, PocketSphinx
// recognition, each spoken sentence coming back as one segment on the source clock.
#include <gtest/gtest.h>

#include "capture/session_folder.h"
#include "platform/linux/ffmpeg_audio_track_reader.h"
#include "platform/linux/pocketsphinx_speech_recognizer.h"
#include "support/speech_media.h"
#include "support/temporary_folder.h"
#include "transcription/session_transcriber.h"
#include "transcription/utterances.h"

namespace quillmer {
namespace {

using testing::TemporaryFolder;

TEST(Utterances, WordsJoinUntilAPauseOrTheLengthCap) {
    const struct {
        const char* name;
        std::vector<RecognizedPiece> words;
        std::vector<RecognizedPiece> utterances;
    } cases[] = {
        {"nothing", {}, {}},
        {"one word", {{1, 0.5, "fix", 0.4}}, {{1, 0.5, "fix", 0.4}}},
        {"short gaps join; span to the last end; mean confidence",
         {{1, 0.3, "fix", 0.2}, {1.7, 0.2, "the", 0.4}, {2.1, 0.4, "header", 0.9}},
         {{1, 1.5, "fix the header", 0.5}}},
        {"a pause of 0.5 s splits", {{1, 0.5, "yes", 1}, {2.0, 0.5, "no", 0.5}}, {{1, 0.5, "yes", 1}, {2.0, 0.5, "no", 0.5}}},
        {"no utterance longer than the cap",
         {{0, 3, "a", 1}, {3.2, 3, "b", 1}, {6.4, 1.6, "c", 1}, {8.1, 1, "d", 1}},
         {{0, 8.0, "a b c", 1}, {8.1, 1, "d", 1}}},
    };
    for (const auto& c : cases) {
        const auto utterances = groupIntoUtterances(c.words);
        ASSERT_EQ(utterances.size(), c.utterances.size()) << c.name;
        for (size_t i = 0; i < utterances.size(); ++i) {
            EXPECT_EQ(utterances[i].text, c.utterances[i].text) << c.name;
            EXPECT_DOUBLE_EQ(utterances[i].timestamp, c.utterances[i].timestamp) << c.name;
            EXPECT_NEAR(utterances[i].duration, c.utterances[i].duration, 1e-9) << c.name;
            EXPECT_NEAR(utterances[i].confidence, c.utterances[i].confidence, 1e-9) << c.name;
        }
    }
}

TEST(OnDeviceTranscription, EachSentenceIsOneSegmentInsideItsWindowOnTheSourceClock) {
    TemporaryFolder media;
    TemporaryFolder session;
    const double first = testing::speak("you need to fix the header on this page", media / "a.wav");
    const double second = testing::speak("can we move this button over here", media / "b.wav");
    const double reply = testing::speak("yes I will change the color", media / "c.wav", "slt");
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
    EXPECT_EQ(transcript.audioFile, "system-audio.m4a,microphone.m4a");
    EXPECT_EQ(readManifest(session.path()).transcriptFile, "transcript.json");

    // In time order: the system track's first sentence, the microphone's reply, the second chunk's
    // sentence shifted by 55 s. Each starts and ends within the recognizer's slack of its speech.
    const struct {
        double from, to;
        const char* track;
        const char* role;
        const char* word;  // one word the recognizer must have heard
    } expected[] = {{502.0, 502.0 + first, "system-audio", "remote", "header"},
                    {506.25, 506.25 + reply, "microphone", "self", "change"},
                    {557.0, 557.0 + second, "system-audio", "remote", "button"}};
    ASSERT_EQ(transcript.segments.size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        const auto& segment = transcript.segments[i];
        const auto& want = expected[i];
        ASSERT_TRUE(segment.sourceTrack && segment.speaker && segment.confidence);
        EXPECT_EQ(*segment.sourceTrack, want.track);
        EXPECT_EQ(segment.speaker->role, want.role);
        EXPECT_NEAR(segment.startSeconds, want.from, 0.4) << segment.text;
        EXPECT_NEAR(segment.startSeconds + segment.durationSeconds, want.to, 0.4) << segment.text;
        EXPECT_NE(segment.text.find(want.word), std::string::npos) << segment.text;
        EXPECT_GT(*segment.confidence, 0.0);
        EXPECT_LE(*segment.confidence, 1.0);
    }
}

}  // namespace
}  // namespace quillmer
