#include <gtest/gtest.h>

#include "capture/local_session_manifest.h"
#include "cli/capture_commands.h"
#include "core/error.h"
#include "support/fake_capture_service.h"
#include "support/fake_media_writers.h"
#include "support/synthetic_capture_service.h"
#include "support/temporary_folder.h"

namespace quillmer::testing {
namespace {

class RecordCommandTest : public ::testing::Test {
protected:
    RecordCommandTest() { capture.displays = {{5, 1280, 720}}; }

    ScopedDataHome home;
    FakeCaptureService capture;
    FakeMediaWriterFactory writers;
};

TEST_F(RecordCommandTest, RecordsForTheDurationAndPrintsTheSessionFolder) {
    SyntheticCaptureOptions options;
    options.displays = {{5, 320, 180}};
    SyntheticCaptureService synthetic(options);
    ::testing::internal::CaptureStdout();
    const int status = cli::record(synthetic, writers, {5, 1.0});
    const std::string printed = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(status, 0);
    ASSERT_FALSE(printed.empty());
    const std::filesystem::path folder = printed.substr(0, printed.size() - 1);
    EXPECT_EQ(folder.parent_path(), home.path() / "data" / "Quillmer" / "Sessions");
    EXPECT_EQ(readManifest(folder).displayID, 5u);
}

TEST_F(RecordCommandTest, AFailedStartOrAnUnknownDisplayExitsOneAndLeavesNoSession) {
    capture.startError = "Connection refused (PulseAudio).";
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(cli::record(capture, writers, {5, 0.05}), 1);
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("Capture could not start: Connection refused"),
              std::string::npos);
    EXPECT_TRUE(std::filesystem::is_empty(home.path() / "data" / "Quillmer" / "Sessions"));

    EXPECT_EQ(cli::record(capture, writers, {6, 0.05}), 1);
    EXPECT_EQ(capture.streamsMade(), 1);
}

TEST(RecordOptionsTest, ReadsTheDisplayAndAnOptionalDurationAndRefusesAnythingElse) {
    const auto untilInterrupted = cli::parseRecordOptions(std::vector<std::string>{"--display", "66"});
    EXPECT_EQ(untilInterrupted.displayID, 66u);
    EXPECT_FALSE(untilInterrupted.durationSeconds);
    const auto timed = cli::parseRecordOptions(std::vector<std::string>{"--duration", "2.5", "--display", "4294967295"});
    EXPECT_EQ(timed.displayID, 4294967295u);
    EXPECT_EQ(timed.durationSeconds, 2.5);

    for (const auto& arguments : std::vector<std::vector<std::string>>{
             {}, {"--duration", "5"}, {"--display"}, {"--display", "one"}, {"--display", "-1"},
             {"--display", "4294967296"}, {"--display", "3x"}, {"--display", "3", "--duration", "0"},
             {"--display", "3", "--duration", "-2"}, {"--display", "3", "--duration", "nan"},
             {"--display", "3", "--duration", "inf"}, {"--display", "3", "--fps", "10"}}) {
        EXPECT_THROW(cli::parseRecordOptions(arguments), Error) << ::testing::PrintToString(arguments);
    }
}

}  // namespace
}  // namespace quillmer::testing
