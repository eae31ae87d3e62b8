#include "platform/linux/gio_trash.h"

#include <gtest/gtest.h>

#include "capture/local_session_library.h"
#include "capture/session_folder.h"
#include "core/error.h"
#include "support/temporary_folder.h"

namespace quillmer {
namespace {

using testing::writeTestFile;

// GIO reads the home and data folders once per process: this executable holds this one test.
TEST(GioTrashTest, DeletingAMeetingTrashesSessionAndExportFoldersRestorably) {
    const testing::ScopedDataHome dataHome;
    const testing::ScopedEnvironment home("HOME", dataHome.path().string());
    const auto trashFiles = dataHome.path() / "data" / "Trash" / "files";
    GioTrash trash;
    EXPECT_THROW(trash.moveToTrash(dataHome.path() / "never-made"), FileSystemError);
    const LocalSessionLibrary library(trash);
    LocalSessionManifest manifest;
    manifest.id = Uuid::random();
    manifest.videoFile = kScreenVideoFileName;
    writeManifest(createSessionFolder(library.sessionsRoot(), manifest.id), manifest);
    writeTestFile(library.exportsRoot() / manifest.id.toString() / "evidence.json", "kept in the trash");

    library.deleteSession(manifest.id.toString());
    EXPECT_FALSE(std::filesystem::exists(library.sessionsRoot() / manifest.id.toString()));
    EXPECT_FALSE(std::filesystem::exists(library.exportsRoot() / manifest.id.toString()));
    // Both folders have the same name, so the trash keeps the second under a new one.
    int trashed = 0;
    for (const auto& entry : std::filesystem::directory_iterator(trashFiles))
        if (entry.path().filename().string().starts_with(manifest.id.toString())) ++trashed;
    EXPECT_EQ(trashed, 2);
    // The contents, and the record that lets the desktop's trash put a folder back.
    EXPECT_TRUE(std::filesystem::exists(dataHome.path() / "data" / "Trash" / "info" / (manifest.id.toString() + ".trashinfo")));
    EXPECT_TRUE(std::filesystem::exists(trashFiles / manifest.id.toString()));
    EXPECT_TRUE(library.recoverableSessions().empty());
}

}  // namespace
}  // namespace quillmer
