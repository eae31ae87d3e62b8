#include <gtest/gtest.h>

#include "capture/local_session_manifest.h"
#include "cli/capture_commands.h"
#include "support/fake_capture_service.h"
#include "support/fake_media_writers.h"
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
    ::testing::internal::CaptureStdout();
    const int status = cli::record(capture, writers, {5, 0.05});
    const std::string printed = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(status, 0);
    ASSERT_FALSE(printed.empty());
    const std::filesystem::path folder = printed.substr(0, printed.size() - 1);
    EXPECT_EQ(folder.parent_path(), home.path() / "data" / "Quillmer" / "Sessions");
    EXPECT_EQ(readManifest(folder).displayID, 5u);
    EXPECT_TRUE(capture.lastStream().stopped);
}

TEST_F(RecordCommandTest, AFailedStartPrintsTheEngineMessageAndExitsOne) {
    capture.startError = "no XShm";
    ::testing::internal::CaptureStderr();
    const int status = cli::record(capture, writers, {5, 0.05});
    const std::string errors = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(status, 1);
    EXPECT_NE(errors.find("Capture could not start: no XShm"), std::string::npos);
}

TEST_F(RecordCommandTest, AnUnknownDisplayIsRefused) {
    EXPECT_EQ(cli::record(capture, writers, {6, 0.05}), 1);
    EXPECT_EQ(capture.streamsMade(), 0);
}

}  // namespace
}  // namespace quillmer::testing
