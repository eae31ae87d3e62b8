#include "platform/application_paths.h"

#include <gtest/gtest.h>

#include "core/error.h"
#include "support/temporary_folder.h"

namespace quillmer {
namespace {

TEST(ApplicationPaths, FollowXDGAndCreateRootsOnResolve) {
    testing::TemporaryFolder folder;
    testing::ScopedEnvironment data("XDG_DATA_HOME", folder.path().string());
    testing::ScopedEnvironment config("XDG_CONFIG_HOME", (folder / "cfg").string());
    EXPECT_EQ(sessionsDirectory(), folder / "Quillmer" / "Sessions");
    EXPECT_TRUE(std::filesystem::is_directory(folder / "Quillmer" / "Sessions"));
    EXPECT_EQ(exportsDirectory(), folder / "Quillmer" / "Exports");
    EXPECT_EQ(userDefaultsFile(), folder / "cfg" / "quillmer" / "defaults.json");
}

TEST(ApplicationPaths, RelativeOrEmptyXDGFallsBackToHome) {
    testing::TemporaryFolder folder;
    testing::ScopedEnvironment home("HOME", folder.path().string());
    for (const char* value : {"", "relative/data"}) {
        testing::ScopedEnvironment data("XDG_DATA_HOME", std::string(value));
        EXPECT_EQ(applicationDataDirectory(), folder / ".local" / "share" / "Quillmer");
    }
}

TEST(ApplicationPaths, AFileInTheWayIsAFileSystemError) {
    testing::TemporaryFolder folder;
    testing::ScopedEnvironment data("XDG_DATA_HOME", folder.path().string());
    testing::writeTestFile(folder / "Quillmer" / "Sessions", "not a folder");
    EXPECT_THROW(sessionsDirectory(), FileSystemError);
}

}  // namespace
}  // namespace quillmer
