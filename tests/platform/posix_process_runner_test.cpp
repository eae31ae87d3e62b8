#include "platform/linux/posix_process_runner.h"

#include <gtest/gtest.h>
#include <signal.h>

namespace quillmer {
namespace {

ProcessResult run(const std::string& executable, std::vector<std::string> arguments, std::string input = {},
                  std::optional<std::filesystem::path> workingDirectory = std::nullopt) {
    return PosixProcessRunner().run({executable, std::move(arguments), std::move(workingDirectory), std::move(input)});
}
ProcessResult shell(const std::string& script, std::string input = {}) { return run("/bin/sh", {"-c", script}, std::move(input)); }

TEST(PosixProcessRunner, SeparatesOutputStreamsAndReportsExitStatusSignalsAndMissingPrograms) {
    const auto result = shell("echo out; echo err >&2; exit 3");
    EXPECT_TRUE(result.launched);
    EXPECT_EQ(result.exitStatus, 3);
    EXPECT_FALSE(result.succeeded());
    EXPECT_EQ(result.standardOutput, "out\n");
    EXPECT_EQ(result.standardError, "err\n");

    const auto notLaunched = run("/nonexistent/program", {});
    EXPECT_FALSE(notLaunched.launched);
    EXPECT_FALSE(notLaunched.launchError.empty());
    const auto killed = shell("kill -9 $$");
    EXPECT_TRUE(killed.launched);
    EXPECT_EQ(killed.terminatingSignal, SIGKILL);
    EXPECT_FALSE(killed.succeeded());
    EXPECT_EQ(run("/bin/pwd", {}, "", "/usr").standardOutput, "/usr\n");
}

TEST(PosixProcessRunner, NeitherFullPipesNorAChildThatStopsReadingHangIt) {
    // 4 MiB on each stream, far beyond a pipe's buffer, interleaved.
    const auto result = shell("head -c 4194304 /dev/zero; head -c 4194304 /dev/zero >&2; head -c 10 /dev/zero");
    EXPECT_TRUE(result.succeeded());
    EXPECT_EQ(result.standardOutput.size(), 4194314u);
    EXPECT_EQ(result.standardError.size(), 4194304u);

    const std::string big(3 << 20, 'x');
    EXPECT_EQ(shell("cat", big).standardOutput, big);
    const auto early = shell("head -c 5", big);  // exits without reading the rest: no SIGPIPE for us
    EXPECT_TRUE(early.succeeded());
    EXPECT_EQ(early.standardOutput, "xxxxx");
}

}  // namespace
}  // namespace quillmer
