#include <gtest/gtest.h>

#include "core/atomic_file.h"
#include "platform/linux/json_file_user_defaults.h"
#include "support/temporary_folder.h"

namespace quillmer {
namespace {

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
