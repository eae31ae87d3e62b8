#include "transcription/local_transcript.h"

#include <gtest/gtest.h>

#include "capture/session_folder.h"
#include "core/atomic_file.h"
#include "support/temporary_folder.h"
#include "support/test_sessions.h"
#include "transcription/transcript_replacement.h"

namespace quillmer {
namespace {

namespace fs = std::filesystem;
using testing::writeTestFile;

const Timestamp kCreated = *parseISO8601("2026-05-04T09:30:12Z");

LocalTranscript importedTranscript() {
    LocalTranscript t;
    t.schemaVersion = 1;
    t.createdAt = kCreated;
    t.audioFile = "source-transcript.vtt";
    t.localeIdentifier = "und";
    t.segments.push_back({Uuid::random(), 62.5, 1.5, "Fix the header/footer", std::nullopt, std::nullopt, std::nullopt});
    return t;
}

TEST(LocalTranscript, OptionalKeysAreOmittedOrMayBeNullButTextIsRequired) {
    const LocalTranscript t = importedTranscript();
    const std::string text = encodeJSON(t.toJSON());
    for (const char* absent : {"provider", "confidence", "speaker", "sourceTrack", "null"})
        EXPECT_EQ(text.find(absent), std::string::npos) << absent;
    Json json = t.toJSON();
    json["segments"][0]["speaker"] = nullptr;
    EXPECT_EQ(LocalTranscript::fromJSON(json), t);
    json["segments"][0].erase("text");
    EXPECT_THROW(LocalTranscript::fromJSON(json), DecodingError);
}

// Everything made from the old transcript goes before the new one is stored; nothing else is touched.
TEST(ReplaceTranscript, DiscardsWhatTheOldTranscriptMadeThenStores) {
    testing::TemporaryFolder root;
    const auto exports = root / "Exports";
    const auto folder = testing::writeTestSession(root / "Sessions", testing::recordedManifest(kCreated), {.candidates = 0});
    const auto manifest = readManifest(folder);
    writeTestFile(folder / "source-transcript.vtt", "WEBVTT");
    writeTestFile(exports / manifest.id.toString() / "evidence.json", "{}");
    writeTestFile(exports / Uuid::random().toString() / "evidence.json", "{}");  // another meeting's export
    writeTestFile(root / "elsewhere" / "keep.png", "png");
    fs::create_directory_symlink(root / "elsewhere", folder / kFramesFolderName);
    const LocalTranscript t = importedTranscript();

    // A folder where transcript.json should go makes the store fail after the discarding.
    fs::create_directory(folder / kTranscriptFileName);
    const std::string before = readWholeFile(folder / kSessionManifestFileName);
    EXPECT_THROW(replaceTranscript(folder, manifest, t, exports), FileSystemError);
    EXPECT_EQ(readWholeFile(folder / kSessionManifestFileName), before);
    fs::remove(folder / kTranscriptFileName);

    replaceTranscript(folder, manifest, t, exports);
    EXPECT_EQ(readTranscript(folder / kTranscriptFileName), t);
    EXPECT_EQ(readManifest(folder).transcriptFile, "transcript.json");
    EXPECT_FALSE(readManifest(folder).candidateFile);
    EXPECT_FALSE(fs::exists(fs::symlink_status(folder / kCandidateFileName)));
    EXPECT_FALSE(fs::exists(fs::symlink_status(folder / kFramesFolderName)));
    EXPECT_TRUE(fs::exists(root / "elsewhere" / "keep.png"));  // a link is removed, never followed
    EXPECT_TRUE(fs::exists(folder / "source-transcript.vtt"));
    ASSERT_EQ(std::distance(fs::directory_iterator(exports), {}), 1);  // no hidden leftovers either
    EXPECT_FALSE(fs::exists(exports / manifest.id.toString()));
}

}  // namespace
}  // namespace quillmer
