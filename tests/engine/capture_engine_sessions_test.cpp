// Sessions as the engine keeps them, and what the stages read and leave in a session folder.
#include <gtest/gtest.h>

#include <set>

#include "capture/session_folder.h"
#include "capture/session_importer.h"
#include "core/atomic_file.h"
#include "platform/linux/ffmpeg_recording_asset.h"
#include "support/engine_test_fixture.h"
#include "support/generated_video.h"
#include "support/export_builders.h"
#include "support/test_sessions.h"
#include "support/thrown.h"

namespace quillmer::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class SessionTest : public EngineTest {};

// The newest meeting becomes current at start-up; new forgets it (its files stay) and restore,
// by either case of its id, brings it back with its export; what is not a readable session, or a
// restore while capturing, changes nothing.
TEST_F(SessionTest, StartUpNewAndRestore) {
    const auto folder = recordShortSession();
    destroyEngine();
    ASSERT_EQ(state().recentSessions.size(), 1u);
    EXPECT_EQ(state().lastSessionDirectory, folder);
    EXPECT_FALSE(state().lastExportDirectory || state().transcriptSegmentCount);

    const auto exportFolder = root / "Exports" / folder.filename();
    writeGroundedExport(exportFolder);
    writeTestFile(exportFolder / "implementation-brief.md", "# Brief\n");
    engine().newSession();
    EXPECT_FALSE(state().lastSessionDirectory);
    EXPECT_TRUE(fs::exists(folder / "session.json"));
    engine().restoreSession(lowerCase(folder.filename().string()));
    EXPECT_EQ(std::tie(state().lastSessionDirectory, state().lastExportDirectory, state().implementationBriefURL),
              std::make_tuple(folder, exportFolder, exportFolder / "implementation-brief.md"));
    EXPECT_EQ(state().reviewFeedback.size(), 2u);  // the third item's candidate is unknown

    const auto empty = root / "Sessions" / Uuid::random().toString();
    fs::create_directories(empty);
    const auto before = state();
    for (const auto& id : {std::string("not-a-uuid"), Uuid::random().toString(), empty.filename().string()})
        engine().restoreSession(id);
    EXPECT_EQ(state(), before);
    engine().startCapture(firstDisplay());
    engine().restoreSession(folder.filename().string());
    EXPECT_FALSE(state().lastSessionDirectory);
    await([&](auto done) { engine().stopCapture(done); });
}

TEST_F(SessionTest, DeletingTheCurrentSessionInEitherCaseClearsItAndMovesItToTheTrash) {
    const auto kept = recordShortSession();
    const auto folder = recordShortSession();
    trash.refused = folder;
    engine().deleteSession(folder.filename().string());
    EXPECT_EQ(state().errorMessage, "This meeting could not be deleted: refused " + folder.string());
    EXPECT_EQ(state().lastSessionDirectory, folder);

    trash.refused.clear();
    engine().deleteSession(lowerCase(folder.filename().string()));
    EXPECT_FALSE(state().errorMessage || state().lastSessionDirectory);
    EXPECT_EQ(trash.moved, std::vector<fs::path>{folder});
    ASSERT_EQ(state().recentSessions.size(), 1u);
    EXPECT_EQ(state().recentSessions[0].id, kept.filename().string());
}

// A killed import leaves a UUID folder with a partial video and no session.json. The next start
// removes it once nothing in it has changed for a while, unless a running import holds its lock;
// anything not clearly ours stays.
TEST_F(SessionTest, StartUpRemovesOnlyAbandonedImportFolders) {
    const auto recorded = recordShortSession();
    destroyEngine();
    const auto age = [](const fs::path& folder) {
        for (const auto& entry : fs::recursive_directory_iterator(folder)) fs::last_write_time(entry, fs::file_time_type::clock::now() - 1h);
        fs::last_write_time(folder, fs::file_time_type::clock::now() - 1h);
    };
    const auto leftover = [&](const std::string& name, bool aged) {
        writeTestFile(root / "Sessions" / name / "screen.mp4", "partial");
        if (aged) age(root / "Sessions" / name);
        return root / "Sessions" / name;
    };
    age(recorded);
    const auto abandoned = leftover(Uuid::random().toString(), true), locked = leftover(Uuid::random().toString(), true);
    const std::vector<fs::path> kept = {recorded, leftover(Uuid::random().toString(), false), locked,
                                        leftover("holiday-videos", true), leftover(lowerCase(Uuid::random().toString()), true)};
    {
        const SessionFolderLock running(locked);
        engine();
    }
    EXPECT_FALSE(fs::exists(abandoned));
    for (const auto& folder : kept) EXPECT_TRUE(fs::exists(folder)) << folder;
    EXPECT_EQ(state().lastSessionDirectory, recorded);
}

// An import in another process is never taken for a leftover, however soon a clean-up runs.
TEST(SessionImportLock, ARunningImportSurvivesAnyCleanUp) {
    ScopedDataHome home;
    const auto recording = home.path() / "meeting.mp4";
    ASSERT_TRUE(makeIndexedVideo(recording, {.frameCount = 60}));
    FfmpegRecordingAssetLoader loader;
    int checks = 0;
    const auto imported = SessionImporter(loader).importRecording(recording, {}, [&](double) {
        removeAbandonedSessionFolders(sessionsRoot(), 0s);
        for (const auto& entry : fs::directory_iterator(sessionsRoot())) checks += fs::exists(entry.path() / kScreenVideoFileName);
    });
    EXPECT_GT(checks, 0);
    EXPECT_TRUE(fs::exists(imported.directory / kSessionManifestFileName));
}

// ---- Manifest-named files, on the real stage functions ------------------------------------------

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
    const auto extract = [&] { return failureText([&] { stages.extractEvidence(folder, {}); }); };
    const auto exportIt = [&] { return failureText([&] { stages.exportEvidence(folder, {}); }); };
    // Without the test's transcript, which transcribing would rightly refuse to replace before it looks at audio.
    const auto transcribe = [&] {
        fs::remove(folder / kTranscriptFileName);
        return failureText([&] { stages.transcribe(folder, {}, {}); });
    };
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
