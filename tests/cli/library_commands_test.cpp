#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "core/atomic_file.h"

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

// Ctrl-C while `process` extracts evidence: it says it stops, and no later stage starts (no export,
// not even a half-made one), with a failure exit, even when the extraction itself completes.
TEST_F(LibraryCommandsTest, AnInterruptedProcessStartsNoLaterStage) {
    const auto recording = home_.path() / "long.mp4";
    PosixProcessRunner runner;
    ASSERT_TRUE(runner.run({"/usr/bin/ffmpeg", {"-v", "error", "-f", "lavfi", "-i", "testsrc=size=1920x1080:rate=1:duration=600",
                                                "-c:v", "libx264", "-preset", "ultrafast", "-g", "600", "-pix_fmt", "yuv420p",
                                                recording.string()},
                            std::nullopt, ""})
                    .succeeded());
    const std::string id = quillmer({"import-recording", recording.string()}).standardOutput.substr(0, 36);
    // One moment near the end of a ten-minute video with a single keyframe: its frames take a while
    // to decode, so the stop arrives after the extraction last looked for one and it finishes anyway.
    const std::string captions = "WEBVTT\n\n00:09:50.000 --> 00:09:52.000\nRemove the banner\n";
    testing::writeTestFile(home_.path() / "long.vtt", captions);
    ASSERT_EQ(quillmer({"import-transcript", id, (home_.path() / "long.vtt").string()}).exitStatus, 0);

    const auto log = home_.path() / "process.log";
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(fd, STDERR_FILENO);
        ::execl(QUILLMER_CLI_PATH, QUILLMER_CLI_PATH, "process", id.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    const auto logged = [&] { return std::filesystem::exists(log) ? readWholeFile(log) : std::string(); };
    while (logged().find("Matching words") == std::string::npos) {
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, WNOHANG), 0) << "ended before extracting: " << logged();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ::kill(child, SIGINT);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << logged();
    EXPECT_EQ(WEXITSTATUS(status), 1) << logged();
    EXPECT_NE(logged().find("Stopping safely"), std::string::npos);
    EXPECT_EQ(logged().find("Preparing cited evidence"), std::string::npos) << logged();
    const auto exports = home_.path() / "data" / "Quillmer" / "Exports";
    EXPECT_TRUE(!std::filesystem::exists(exports) || std::filesystem::is_empty(exports));
}

}  // namespace
}  // namespace quillmer
