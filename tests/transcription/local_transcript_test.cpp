#include "transcription/local_transcript.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include "capture/session_folder.h"
#include "core/atomic_file.h"
#include "support/temporary_folder.h"

namespace quillmer {
namespace {

LocalSessionManifest manifestWithAudio(bool microphone) {
    LocalSessionManifest m;
    m.id = Uuid::random();
    m.createdAt = *parseISO8601("2026-05-04T09:30:12Z");
    m.videoFile = "screen.mp4";
    m.systemAudioFile = "system-audio.m4a";
    m.systemAudioFirstPTSSeconds = 100.5;
    if (microphone) m.microphoneAudioFile = "microphone.m4a";  // no first PTS: offset 0
    return m;
}

TEST(TranscriptionTracks, FollowTheManifest) {
    const auto both = transcriptionTracks(manifestWithAudio(true));
    ASSERT_EQ(both.size(), 2u);
    EXPECT_EQ(both[0], (TranscriptionTrack{"system-audio.m4a", 100.5, {"remote", "Call audio", "remote"}, "system-audio"}));
    EXPECT_EQ(both[1], (TranscriptionTrack{"microphone.m4a", 0, {"self", "You", "self"}, "microphone"}));
    EXPECT_EQ(joinedAudioFiles(both), "system-audio.m4a,microphone.m4a");

    const auto systemOnly = transcriptionTracks(manifestWithAudio(false));
    EXPECT_EQ(joinedAudioFiles(systemOnly), "system-audio.m4a");

    LocalSessionManifest silent = manifestWithAudio(true);
    silent.systemAudioFile.reset();
    EXPECT_TRUE(transcriptionTracks(silent).empty());
}

TEST(LocalTranscript, ImportedTranscriptOmitsOnDeviceKeysAndRoundTrips) {
    LocalTranscript t;
    t.schemaVersion = 1;
    t.createdAt = *parseISO8601("2026-05-04T09:30:12Z");
    t.audioFile = "source-transcript.vtt";
    t.localeIdentifier = "und";
    t.segments.push_back({Uuid::random(), 62.5, 1.5, "Fix the header/footer", std::nullopt, std::nullopt, std::nullopt});
    const std::string text = encodeJSON(t.toJSON());
    for (const char* absent : {"provider", "confidence", "speaker", "sourceTrack", "null"})
        EXPECT_EQ(text.find(absent), std::string::npos) << absent;
    EXPECT_NE(text.find("header\\/footer"), std::string::npos);
    EXPECT_LT(text.find("\"audioFile\""), text.find("\"createdAt\""));
    EXPECT_LT(text.find("\"segments\""), text.find("\"sourcePTSOffsetSeconds\""));
    const auto decoded = LocalTranscript::fromJSON(parseJSON(text));
    EXPECT_EQ(decoded, t);
    EXPECT_EQ(encodeJSON(decoded.toJSON()), text);
}

TEST(LocalTranscript, SegmentWithoutTextMakesTheFileUnreadableButMissingConfidenceDoesNot) {
    LocalTranscript t;
    t.createdAt = *parseISO8601("2026-05-04T09:30:12Z");
    t.audioFile = "system-audio.m4a";
    t.localeIdentifier = "en-US";
    t.provider = "pocketsphinx";
    t.segments.push_back({Uuid::random(), 1, 0.5, "hello", 0.75, TranscriptSpeaker{"remote", "Call audio", "remote"}, "system-audio"});
    Json json = t.toJSON();
    json["segments"][0].erase("confidence");
    json["segments"][0]["speaker"]["id"] = nullptr;
    const auto decoded = LocalTranscript::fromJSON(json);
    EXPECT_EQ(decoded.segments[0].confidence, std::nullopt);
    EXPECT_EQ(decoded.segments[0].speaker->id, std::nullopt);
    json["segments"][0].erase("text");
    EXPECT_THROW(LocalTranscript::fromJSON(json), DecodingError);
}

TEST(StoreTranscript, WritesTranscriptThenManifestAndAFailedWriteLeavesTheManifestAlone) {
    testing::TemporaryFolder root;
    const auto manifest = manifestWithAudio(false);
    const auto folder = createSessionFolder(root.path(), manifest.id);
    writeManifest(folder, manifest);
    LocalTranscript t;
    t.createdAt = *parseISO8601("2026-05-04T09:30:12Z");
    t.audioFile = "system-audio.m4a";
    t.localeIdentifier = "en-US";

    // A folder where transcript.json should go makes the first write fail.
    std::filesystem::create_directory(folder / "transcript.json");
    const std::string before = readWholeFile(folder / "session.json");
    EXPECT_THROW(storeTranscript(folder, manifest, t), FileSystemError);
    EXPECT_EQ(readWholeFile(folder / "session.json"), before);
    std::filesystem::remove(folder / "transcript.json");

    storeTranscript(folder, manifest, t);
    EXPECT_EQ(readTranscript(folder / "transcript.json"), t);
    EXPECT_EQ(readManifest(folder).transcriptFile, "transcript.json");
}

}  // namespace
}  // namespace quillmer
