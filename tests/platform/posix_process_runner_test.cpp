#include "platform/linux/posix_process_runner.h"

#include <gtest/gtest.h>
#include <signal.h>

namespace quillmer {
namespace {

ProcessResult shell(const std::string& script, std::string input = {}) {
    PosixProcessRunner runner;
    ProcessRequest request;
    request.executable = "/bin/sh";
    request.arguments = {"-c", script};
    request.standardInput = std::move(input);
    return runner.run(request);
}

TEST(PosixProcessRunner, SeparatesOutputStreamsAndReportsExitStatus) {
    const auto result = shell("echo out; echo err >&2; exit 3");
    EXPECT_TRUE(result.launched);
    EXPECT_EQ(result.exitStatus, 3);
    EXPECT_FALSE(result.succeeded());
    EXPECT_EQ(result.standardOutput, "out\n");
    EXPECT_EQ(result.standardError, "err\n");
}

TEST(PosixProcessRunner, DoesNotHangWhenBothPipesFill) {
    // 4 MiB on each stream, far beyond a pipe's buffer, interleaved.
    const auto result = shell("head -c 4194304 /dev/zero; head -c 4194304 /dev/zero >&2; head -c 10 /dev/zero");
    EXPECT_TRUE(result.succeeded());
    EXPECT_EQ(result.standardOutput.size(), 4194314u);
    EXPECT_EQ(result.standardError.size(), 4194304u);
}

TEST(PosixProcessRunner, FeedsStandardInputEvenWhenTheChildStopsReading) {
    const std::string big(3 << 20, 'x');
    EXPECT_EQ(shell("cat", big).standardOutput, big);
    const auto early = shell("head -c 5", big);  // exits without reading the rest: no SIGPIPE for us
    EXPECT_TRUE(early.succeeded());
    EXPECT_EQ(early.standardOutput, "xxxxx");
}

TEST(PosixProcessRunner, ReportsMissingProgramsAndSignals) {
    PosixProcessRunner runner;
    ProcessRequest missing;
    missing.executable = "/nonexistent/program";
    const auto notLaunched = runner.run(missing);
    EXPECT_FALSE(notLaunched.launched);
    EXPECT_FALSE(notLaunched.launchError.empty());

    const auto killed = shell("kill -9 $$");
    EXPECT_TRUE(killed.launched);
    EXPECT_EQ(killed.terminatingSignal, SIGKILL);
    EXPECT_FALSE(killed.succeeded());
}

TEST(PosixProcessRunner, RunsInTheRequestedWorkingDirectory) {
    PosixProcessRunner runner;
    ProcessRequest request;
    request.executable = "/bin/pwd";
    request.workingDirectory = "/usr";
    EXPECT_EQ(runner.run(request).standardOutput, "/usr\n");
}

}  // namespace
}  // namespace quillmer
