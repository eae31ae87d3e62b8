#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/capture_commands.h"
#include "core/error.h"

namespace quillmer::cli {
namespace {

RecordOptions parse(std::vector<std::string> arguments) { return parseRecordOptions(arguments); }

TEST(RecordOptionsTest, ReadsTheDisplayAnOptionalDurationAndTheAffirmation) {
    const auto plain = parse({"--display", "66"});
    EXPECT_EQ(std::tie(plain.displayID, plain.durationSeconds, plain.everyoneKnows), std::make_tuple(66u, std::nullopt, false));
    const auto full = parse({"--duration", "2.5", "--everyone-knows", "--display", "4294967295"});
    EXPECT_EQ(std::tie(full.displayID, full.durationSeconds, full.everyoneKnows),
              std::make_tuple(4294967295u, std::optional(2.5), true));
}

TEST(RecordOptionsTest, RefusesMalformedArguments) {
    for (const auto& arguments : std::vector<std::vector<std::string>>{
             {}, {"--duration", "5"}, {"--display"}, {"--display", "one"}, {"--display", "-1"},
             {"--display", "4294967296"}, {"--display", "3x"}, {"--display", "3", "--duration", "0"},
             {"--display", "3", "--duration", "-2"}, {"--display", "3", "--duration", "nan"},
             {"--display", "3", "--duration", "inf"}, {"--display", "3", "--fps", "10"},
             {"--display", "3", "--everyone-knows=yes"},
         }) {
        EXPECT_THROW(parse(arguments), Error) << ::testing::PrintToString(arguments);
    }
}

}  // namespace
}  // namespace quillmer::cli
