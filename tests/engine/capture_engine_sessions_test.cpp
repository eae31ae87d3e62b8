#include <gtest/gtest.h>

#include <algorithm>

#include "capture/session_folder.h"
#include "capture/session_importer.h"
#include "support/engine_test_fixture.h"
#include "platform/linux/ffmpeg_recording_asset.h"
#include "support/generated_video.h"

namespace quillmer::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class SessionTest : public EngineTest {};

std::string lowerCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

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
    writeTestFile(exportFolder / "evidence.json", "{}");
    writeTestFile(exportFolder / "implementation-brief.md", "# Brief\n");
    engine().newSession();
    EXPECT_FALSE(state().lastSessionDirectory);
    EXPECT_TRUE(fs::exists(folder / "session.json"));
    engine().restoreSession(lowerCase(folder.filename().string()));
    EXPECT_EQ(state().lastSessionDirectory, folder);
    EXPECT_EQ(state().lastExportDirectory, exportFolder);
    EXPECT_EQ(state().implementationBriefURL, exportFolder / "implementation-brief.md");

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
    EXPECT_FALSE(state().errorMessage);
    EXPECT_FALSE(state().lastSessionDirectory);
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

}  // namespace
}  // namespace quillmer::testing
