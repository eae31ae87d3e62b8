#include "platform/application_paths.h"

#include <gtest/gtest.h>

#include "core/error.h"
#include "support/temporary_folder.h"

namespace quillmer {
namespace {

TEST(ApplicationPaths, FollowXDGAndCreateRootsOnResolveUnlessAFileIsInTheWay) {
    testing::TemporaryFolder folder;
    testing::ScopedEnvironment data("XDG_DATA_HOME", folder.path().string());
    testing::ScopedEnvironment config("XDG_CONFIG_HOME", (folder / "cfg").string());
    EXPECT_EQ(sessionsDirectory(), folder / "Quillmer" / "Sessions");
    EXPECT_TRUE(std::filesystem::is_directory(folder / "Quillmer" / "Sessions"));
    EXPECT_EQ(exportsDirectory(), folder / "Quillmer" / "Exports");
    EXPECT_EQ(userDefaultsFile(), folder / "cfg" / "quillmer" / "defaults.json");
    std::filesystem::remove(folder / "Quillmer" / "Sessions");
    testing::writeTestFile(folder / "Quillmer" / "Sessions", "not a folder");
    EXPECT_THROW(sessionsDirectory(), FileSystemError);
}

TEST(ApplicationPaths, RelativeOrEmptyXDGFallsBackToHome) {
    testing::TemporaryFolder folder;
    testing::ScopedEnvironment home("HOME", folder.path().string());
    for (const char* value : {"", "relative/data"}) {
        testing::ScopedEnvironment data("XDG_DATA_HOME", std::string(value));
        EXPECT_EQ(applicationDataDirectory(), folder / ".local" / "share" / "Quillmer");
    }
}

TEST(ApplicationPaths, RendererFolderFromTheEnvironmentOrBesideTheProgram) {
    {
        testing::ScopedEnvironment override("QUILLMER_RENDERER_DIRECTORY", std::string("/opt/renderer"));
        EXPECT_EQ(rendererDirectory(), "/opt/renderer");
    }
    testing::ScopedEnvironment unset("QUILLMER_RENDERER_DIRECTORY", std::nullopt);
    // This test runs from a build tree without an installed layout beside it: the tree's own folder.
    const auto folder = rendererDirectory();
    EXPECT_EQ(folder.filename(), "renderer");
    EXPECT_EQ(folder.parent_path().filename(), "quillmer");
    EXPECT_TRUE(std::filesystem::exists(folder.parent_path().parent_path().parent_path() / "CMakeCache.txt")) << folder;
}

}  // namespace
}  // namespace quillmer
