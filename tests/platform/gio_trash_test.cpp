#include "platform/linux/gio_trash.h"

#include <gtest/gtest.h>

#include <memory>

#include "capture/local_session_library.h"
#include "capture/session_folder.h"
#include "core/error.h"
#include "support/temporary_folder.h"

namespace quillmer {
namespace {

using testing::writeTestFile;

// GIO reads the home and data folders once per process, so the whole suite shares one private home.
class GioTrashTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dataHome_ = std::make_unique<testing::ScopedDataHome>();
        home_ = std::make_unique<testing::ScopedEnvironment>("HOME", dataHome_->path().string());
    }
    static void TearDownTestSuite() {
        home_.reset();
        dataHome_.reset();
    }

    static std::filesystem::path trashFiles() { return dataHome_->path() / "data" / "Trash" / "files"; }
    static std::filesystem::path trashInfo() { return dataHome_->path() / "data" / "Trash" / "info"; }

    static inline std::unique_ptr<testing::ScopedDataHome> dataHome_;
    static inline std::unique_ptr<testing::ScopedEnvironment> home_;
    GioTrash trash;
};

TEST_F(GioTrashTest, DeletingAMeetingTrashesSessionAndExportFoldersRestorably) {
    EXPECT_THROW(trash.moveToTrash(dataHome_->path() / "never-made"), FileSystemError);
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
    for (const auto& entry : std::filesystem::directory_iterator(trashFiles()))
        if (entry.path().filename().string().starts_with(manifest.id.toString())) ++trashed;
    EXPECT_EQ(trashed, 2);
    // The contents, and the record that lets the desktop's trash put a folder back.
    EXPECT_TRUE(std::filesystem::exists(trashInfo() / (manifest.id.toString() + ".trashinfo")));
    EXPECT_TRUE(std::filesystem::exists(trashFiles() / manifest.id.toString()));
    EXPECT_TRUE(library.recoverableSessions().empty());
}

}  // namespace
}  // namespace quillmer
