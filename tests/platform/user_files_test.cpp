#include <gtest/gtest.h>

#include "core/atomic_file.h"
#include "core/error.h"
#include "platform/application_paths.h"
#include "platform/linux/json_file_user_defaults.h"
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

TEST(JsonFileUserDefaults, TypedReadsTreatWrongTypesAsAbsentAndDatesAreSharedISO8601Text) {
    testing::TemporaryFolder folder;
    JsonFileUserDefaults defaults(folder / "quillmer" / "defaults.json");
    EXPECT_EQ(defaults.boolValue("ai.quillmer.consent.standingRecording"), std::nullopt);
    defaults.setValue("ai.quillmer.consent.standingRecording", true);
    defaults.setValue("ai.quillmer.deviceTag", "ABC");
    EXPECT_EQ(defaults.boolValue("ai.quillmer.consent.standingRecording"), true);
    EXPECT_EQ(defaults.stringValue("ai.quillmer.deviceTag"), "ABC");
    EXPECT_EQ(defaults.boolValue("ai.quillmer.deviceTag"), std::nullopt);
    EXPECT_EQ(defaults.dateValue("ai.quillmer.deviceTag"), std::nullopt);
    defaults.removeValue("ai.quillmer.deviceTag");
    EXPECT_EQ(defaults.stringValue("ai.quillmer.deviceTag"), std::nullopt);

    const Timestamp when = *parseISO8601("2026-05-04T09:30:12Z");
    defaults.setDate("ai.quillmer.updates.lastCheckedAt", when);
    JsonFileUserDefaults reader(folder / "quillmer" / "defaults.json");
    EXPECT_EQ(reader.dateValue("ai.quillmer.updates.lastCheckedAt"), when);
    EXPECT_EQ(parseJSON(readWholeFile(folder / "quillmer" / "defaults.json"))["ai.quillmer.updates.lastCheckedAt"],
              "2026-05-04T09:30:12Z");
}

TEST(JsonFileUserDefaults, DamagedFileReadsAsEmptyAndIsReplacedOnWrite) {
    testing::TemporaryFolder folder;
    const auto file = folder / "defaults.json";
    testing::writeTestFile(file, "{not json");
    JsonFileUserDefaults defaults(file);
    EXPECT_EQ(defaults.boolValue("a"), std::nullopt);
    defaults.setValue("a", false);
    EXPECT_EQ(defaults.boolValue("a"), false);
    testing::writeTestFile(file, "[1,2]");
    EXPECT_EQ(defaults.boolValue("a"), std::nullopt);
}

}  // namespace
}  // namespace quillmer
