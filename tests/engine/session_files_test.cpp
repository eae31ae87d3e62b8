// What the stages read and leave in a session folder, on the real stage functions.
#include <gtest/gtest.h>

#include <functional>
#include <set>

#include "capture/local_session_library.h"
#include "core/atomic_file.h"
#include "engine/processing_stages.h"
#include "support/generated_video.h"
#include "support/recording_trash.h"
#include "support/temporary_folder.h"
#include "support/test_sessions.h"

namespace quillmer::testing {
namespace {

namespace fs = std::filesystem;

class SessionFilesTest : public ::testing::Test {
protected:
    SessionFilesTest() { manifest = readManifest(folder); }

    ScopedDataHome home;
    ScopedEnvironment locale{"LC_ALL", "en_US.UTF-8"};
    fs::path sessions = home.path() / "Sessions";
    LocalSessionManifest manifest = recordedManifest(*parseISO8601("2026-05-04T09:30:12Z"));
    fs::path folder = writeTestSession(sessions, manifest, {{{"can we move this button here"}}, 0});
    ProcessingStages stages = availableProcessingStages();
};

// A hostile session.json names files outside its folder; every reader of a named file refuses it
// the same way, though the file outside exists and would be readable.
TEST_F(SessionFilesTest, ManifestNamedFilesOutsideTheSessionAreNeverRead) {
    const fs::path outside = sessions / "outside";
    writeTestFile(outside / kTranscriptFileName, encodeJSON(transcriptSaying({"make this bigger"}).toJSON()));
    writeTestFile(outside / kCandidateFileName, candidatesJSON(5));
    writeTestFile(outside / "video.mp4", "not the session's video");
    writeTestFile(outside / "audio.m4a", "not the session's audio");
    fs::create_directory_symlink(outside, folder / "linked-folder");
    for (const auto* name : {kTranscriptFileName, kCandidateFileName, "video.mp4", "audio.m4a"})
        fs::create_symlink(outside / name, folder / (std::string("link-") + name));

    RecordingTrash trash;
    const LocalSessionLibrary library(trash, sessions, home.path() / "Exports");
    const auto counts = [&] {
        const auto session = library.session(manifest.id.toString()).value();
        return std::to_string(session.candidateCount.value_or(-1)) + " " + std::to_string(session.transcriptSegmentCount.value_or(-1));
    };
    const auto failure = [](const std::function<void()>& work) -> std::string {
        try {
            work();
        } catch (const std::exception& error) {
            return error.what();
        }
        return "(no failure)";
    };
    const auto extract = [&] { return failure([&] { stages.extractEvidence(folder, {}); }); };
    const auto exportIt = [&] { return failure([&] { stages.exportEvidence(folder, {}); }); };
    const auto transcribe = [&] { return failure([&] { stages.transcribe(folder, {}, {}); }); };
    const std::string refused = "which is not a file in the session folder.", missing = "The required session artifact is missing: ";
    using Field = std::optional<std::string> LocalSessionManifest::*;
    const struct {
        Field field;  // null: videoFile, the one required name
        const char* file;
        std::function<std::string()> read;
        std::string expected;
    } readers[] = {
        {&LocalSessionManifest::candidateFile, kCandidateFileName, counts, "-1 1"},
        {&LocalSessionManifest::transcriptFile, kTranscriptFileName, counts, "0 -1"},
        {&LocalSessionManifest::transcriptFile, kTranscriptFileName, extract, "Transcribe this session before generating"},
        {nullptr, "video.mp4", extract, refused},
        {&LocalSessionManifest::candidateFile, kCandidateFileName, exportIt, missing},
        {&LocalSessionManifest::transcriptFile, kTranscriptFileName, exportIt, missing},
        {&LocalSessionManifest::systemAudioFile, "audio.m4a", transcribe, refused},
    };
    for (const auto& reader : readers) {
        const std::string file = reader.file;
        for (const auto& name : {(outside / file).string(), "../outside/" + file, "a/../../outside/" + file,
                                 "./../outside/" + file, "link-" + file, "linked-folder/" + file}) {
            updateManifest(folder, [&](auto& m) {
                m = manifest;
                if (reader.field) m.*reader.field = name;
                else m.videoFile = name;
            });
            EXPECT_NE(reader.read().find(reader.expected), std::string::npos) << reader.expected << " for " << name;
            EXPECT_FALSE(fs::exists(home.path() / "data" / "Quillmer" / "Exports" / manifest.id.toString()));
        }
    }
}

// An interrupted or earlier extraction left frames behind; the next one keeps only its own.
TEST_F(SessionFilesTest, ExtractionLeavesOnlyTheFramesItRecorded) {
    ASSERT_TRUE(makeIndexedVideo(folder / kScreenVideoFileName, {.frameCount = 90}));
    updateManifest(folder, [](auto& m) { m.lastVideoPTSSeconds = 3; });
    writeTestFile(folder / kFramesFolderName / "left-by-a-killed-run-0.png", "partial");
    ASSERT_EQ(stages.extractEvidence(folder, {}), 1);

    std::set<std::string> recorded, present;
    const Json bundle = parseJSON(readWholeFile(folder / kCandidateFileName));
    for (const auto& candidate : bundle["candidates"])
        for (const auto& frame : candidate["frameFiles"]) recorded.insert(frame.get<std::string>());
    for (const auto& entry : fs::directory_iterator(folder / kFramesFolderName))
        present.insert(std::string(kFramesFolderName) + "/" + entry.path().filename().string());
    EXPECT_FALSE(recorded.empty());
    EXPECT_EQ(present, recorded);
}

}  // namespace
}  // namespace quillmer::testing
