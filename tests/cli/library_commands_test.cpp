#include <gtest/gtest.h>

#include "core/json.h"
#include "platform/linux/posix_process_runner.h"
#include "support/temporary_folder.h"

namespace quillmer {
namespace {

ProcessResult quillmer(std::vector<std::string> arguments) {
    PosixProcessRunner runner;
    return runner.run({QUILLMER_CLI_PATH, std::move(arguments), std::nullopt, ""});
}

class LibraryCommandsTest : public ::testing::Test {
protected:
    testing::ScopedDataHome home_;
    testing::ScopedEnvironment user_{"HOME", home_.path().string()};
};

TEST_F(LibraryCommandsTest, ImportListAndDeleteARecording) {
    const auto recording = home_.path() / "demo.mp4";
    PosixProcessRunner runner;
    ASSERT_TRUE(runner.run({"/usr/bin/ffmpeg", {"-v", "error", "-f", "lavfi", "-i", "testsrc=size=160x120:rate=5:duration=1",
                                                "-c:v", "libx264", "-pix_fmt", "yuv420p", recording.string()},
                            std::nullopt, ""})
                    .succeeded());

    const auto imported = quillmer({"import-recording", recording.string()});
    ASSERT_EQ(imported.exitStatus, 0) << imported.standardError;
    const std::string id = imported.standardOutput.substr(0, 36);
    EXPECT_TRUE(Uuid::parse(id));
    EXPECT_NE(imported.standardError.find("100%"), std::string::npos);

    const auto listed = quillmer({"sessions", "--json"});
    ASSERT_EQ(listed.exitStatus, 0);
    const auto rows = parseJSON(listed.standardOutput);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0]["id"], id);
    EXPECT_EQ(rows[0]["detail"], "Ready to understand");

    EXPECT_EQ(quillmer({"delete", "latest"}).exitStatus, 0);
    EXPECT_EQ(quillmer({"sessions"}).standardOutput, "");
    EXPECT_TRUE(std::filesystem::exists(home_.path() / "data" / "Trash" / "files" / id));
}

TEST_F(LibraryCommandsTest, FailuresExitOneWithTheErrorText) {
    const auto unsupported = quillmer({"import-recording", "notes.mkv"});
    EXPECT_EQ(unsupported.exitStatus, 1);
    EXPECT_EQ(unsupported.standardError,
              "quillmer: Quillmer supports local MP4, MOV, and M4V recordings. notes.mkv is not a supported recording.\n");
    EXPECT_EQ(quillmer({"delete", "latest"}).exitStatus, 1);
    EXPECT_EQ(quillmer({"delete", "not-an-id"}).exitStatus, 1);
    EXPECT_EQ(quillmer({"sessions", "--bogus"}).exitStatus, 2);
    EXPECT_EQ(quillmer({"import-recording", "--help"}).exitStatus, 0);
}

}  // namespace
}  // namespace quillmer
