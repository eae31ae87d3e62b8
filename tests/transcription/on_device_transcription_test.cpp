// Utterance segments, and one real run: flite speech in AAC tracks, FFmpeg decoding, PocketSphinx
// recognition, each spoken sentence coming back as one segment on the source clock.
#include <gtest/gtest.h>

#include <sstream>

#include "capture/session_folder.h"
#include "platform/linux/ffmpeg_audio_track_reader.h"
#include "platform/linux/pocketsphinx_speech_recognizer.h"
#include "support/speech_media.h"
#include "support/temporary_folder.h"
#include "support/test_sessions.h"
#include "transcription/session_transcriber.h"
#include "transcription/utterances.h"

namespace quillmer {
namespace {

using testing::TemporaryFolder;

// Each utterance as "text @start+duration ~confidence;".
std::string describe(const std::vector<RecognizedPiece>& pieces) {
    std::ostringstream out;
    for (const auto& p : pieces) out << p.text << " @" << p.timestamp << "+" << p.duration << " ~" << p.confidence << ";";
    return out.str();
}

TEST(Utterances, WordsJoinUntilAPauseOrTheLengthCap) {
    const std::pair<std::vector<RecognizedPiece>, std::string> cases[] = {
        {{}, ""},
        {{{1, 0.5, "fix", 0.25}}, "fix @1+0.5 ~0.25;"},
        // Short gaps join: the first start, the span to the last end, the mean confidence.
        {{{1, 0.5, "fix", 0.25}, {1.75, 0.25, "the", 0.5}, {2.25, 0.25, "header", 0.75}}, "fix the header @1+1.5 ~0.5;"},
        {{{1, 0.5, "yes", 1}, {2.0, 0.5, "no", 0.5}}, "yes @1+0.5 ~1;no @2+0.5 ~0.5;"},  // a 0.5 s pause
        {{{0, 3, "a", 1}, {3.25, 3, "b", 1}, {6.5, 1.5, "c", 1}, {8.25, 1, "d", 1}}, "a b c @0+8 ~1;d @8.25+1 ~1;"},  // the cap
    };
    for (const auto& [words, utterances] : cases) EXPECT_EQ(describe(groupIntoUtterances(words)), utterances);
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

    auto manifest = testing::recordedManifest(std::chrono::system_clock::now());
    manifest.systemAudioFile = kSystemAudioFileName, manifest.systemAudioFirstPTSSeconds = 500.0;
    manifest.microphoneAudioFile = kMicrophoneAudioFileName, manifest.microphoneAudioFirstPTSSeconds = 500.25;
    writeManifest(session.path(), manifest);

    LocalOnlyRouteDecider route;
    FFmpegAudioTrackReaderFactory audio;
    PocketSphinxRecognizerProvider speech;
    std::vector<TranscriptionProgress> progress;
    const auto transcript = SessionTranscriber(route, audio, speech).transcribe(
        session.path(), "en-US", [&](const TranscriptionProgress& p) { progress.push_back(p); });

    EXPECT_EQ(progress, (std::vector<TranscriptionProgress>{{0, 3}, {1, 3}, {2, 3}, {2, 3}, {3, 3}}));

    // In time order: the system track's first sentence, the microphone's reply, the second chunk's
    // sentence shifted by 55 s; each within the recognizer's slack of its speech.
    const struct {
        double from, to;
        const char* track;
        const char* text;
    } expected[] = {{502.0, 502.0 + first, "system-audio", "you need to fix the header on this page"},
                    {506.25, 506.25 + reply, "microphone", "yes i will change the color"},
                    {557.0, 557.0 + second, "system-audio", "can we move this button over here"}};
    ASSERT_EQ(transcript.segments.size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        const auto& segment = transcript.segments[i];
        EXPECT_EQ(segment.text, expected[i].text);
        EXPECT_EQ(segment.sourceTrack, expected[i].track);
        EXPECT_NEAR(segment.startSeconds, expected[i].from, 0.4) << segment.text;
        EXPECT_NEAR(segment.startSeconds + segment.durationSeconds, expected[i].to, 0.4) << segment.text;
        EXPECT_TRUE(segment.confidence > 0.0 && segment.confidence <= 1.0);
    }
}

}  // namespace
}  // namespace quillmer
