#include <algorithm>
#include <gtest/gtest.h>

#include "engine/engine_test_fixture.h"

namespace quillmer::testing {
namespace {

class SessionTest : public EngineTest {};

TEST_F(SessionTest, TheNewestStoredSessionBecomesCurrentAtStartUp) {
    const auto folder = recordShortSession();
    destroyEngine();
    ASSERT_EQ(state().recentSessions.size(), 1u);
    EXPECT_EQ(state().lastSessionDirectory, folder);
    EXPECT_FALSE(state().lastExportDirectory);
    EXPECT_FALSE(state().transcriptSegmentCount);
}

TEST_F(SessionTest, RestoreReadsTheExportAndItsBrief) {
    const auto folder = recordShortSession();
    const auto id = folder.filename().string();
    const auto exportFolder = root / "Exports" / id;
    writeTestFile(exportFolder / "evidence.json", "{}");
    writeTestFile(exportFolder / "implementation-brief.md", "# Brief\n");
    engine().newSession();
    EXPECT_FALSE(state().lastSessionDirectory);

    engine().restoreSession(id);
    EXPECT_EQ(state().lastSessionDirectory, folder);
    EXPECT_EQ(state().lastExportDirectory, exportFolder);
    EXPECT_EQ(state().implementationBriefURL, exportFolder / "implementation-brief.md");
}

TEST_F(SessionTest, RestoringAnUnknownSessionChangesNothing) {
    recordShortSession();
    const auto before = state();
    engine().restoreSession("not-a-uuid");
    engine().restoreSession("6F1C2B9E-0000-4000-8000-000000000000");
    EXPECT_EQ(state(), before);
}

TEST_F(SessionTest, RestoreIsRefusedWhileCapturing) {
    const auto folder = recordShortSession();
    engine().startCapture(firstDisplay());
    engine().restoreSession(folder.filename().string());
    EXPECT_FALSE(state().lastSessionDirectory);
    await([&](auto done) { engine().stopCapture(done); });
}

TEST_F(SessionTest, NewSessionForgetsTheCurrentOneButKeepsItsFiles) {
    const auto folder = recordShortSession();
    engine().newSession();
    EXPECT_FALSE(state().lastSessionDirectory);
    EXPECT_TRUE(std::filesystem::exists(folder / "session.json"));
    EXPECT_EQ(state().recentSessions.size(), 1u);
}

TEST_F(SessionTest, AFailedDeleteIsReportedAndKeepsTheCurrentSession) {
    const auto folder = recordShortSession();
    trash.refused = folder;
    engine().deleteSession(folder.filename().string());
    EXPECT_EQ(state().errorMessage, "This meeting could not be deleted: refused " + folder.string());
    EXPECT_EQ(state().lastSessionDirectory, folder);
    EXPECT_TRUE(std::filesystem::exists(folder));
}

TEST_F(SessionTest, DeletingTheCurrentSessionInEitherCaseClearsItAndMovesItToTheTrash) {
    const auto kept = recordShortSession();
    const auto folder = recordShortSession();
    std::string lowerCaseID = folder.filename().string();
    std::transform(lowerCaseID.begin(), lowerCaseID.end(), lowerCaseID.begin(), [](unsigned char c) { return std::tolower(c); });
    engine().deleteSession(lowerCaseID);
    EXPECT_FALSE(state().errorMessage);
    EXPECT_FALSE(state().lastSessionDirectory);
    EXPECT_EQ(trash.moved, std::vector<std::filesystem::path>{folder});
    ASSERT_EQ(state().recentSessions.size(), 1u);
    EXPECT_EQ(state().recentSessions[0].id, kept.filename().string());
}

}  // namespace
}  // namespace quillmer::testing
