#include "capture/repository_snapshot.h"

#include <gtest/gtest.h>

#include "platform/linux/posix_process_runner.h"
#include "support/temporary_folder.h"

namespace quillmer::testing {
namespace {

class RepositorySnapshotTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::filesystem::exists("/usr/bin/git")) GTEST_SKIP() << "/usr/bin/git is not installed";
    }

    // Runs git in the test repository; the commit identity is fixed so no global config is needed.
    std::string git(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), {"-C", repository.path().string(), "-c", "user.name=T", "-c", "user.email=t@t"});
        const auto result = runner.run({"/usr/bin/git", arguments, std::nullopt, ""});
        EXPECT_TRUE(result.succeeded()) << result.standardError;
        return result.standardOutput.substr(0, result.standardOutput.find('\n'));
    }

    // Without a commit HEAD names nothing; with one the repository has a snapshot.
    void makeRepositoryWithOneCommit() {
        git({"init", "-q", "-b", "feature/header"});
        EXPECT_EQ(RepositorySnapshot::at(repository.path(), runner), std::nullopt);
        git({"commit", "-q", "--allow-empty", "-m", "first"});
    }

    PosixProcessRunner runner;
    TemporaryFolder repository;
};

TEST_F(RepositorySnapshotTest, RecordsRootCommitAndBranchButNoBranchForADetachedHead) {
    EXPECT_EQ(RepositorySnapshot::at(repository.path(), runner), std::nullopt);
    EXPECT_EQ(RepositorySnapshot::at(repository / "does-not-exist", runner), std::nullopt);
    makeRepositoryWithOneCommit();
    std::filesystem::create_directories(repository / "src" / "deep");
    const auto snapshot = RepositorySnapshot::at(repository / "src" / "deep", runner);
    ASSERT_TRUE(snapshot);
    EXPECT_EQ(snapshot->rootPath, std::filesystem::canonical(repository.path()).string());
    EXPECT_EQ(snapshot->gitSHA, git({"rev-parse", "HEAD"}));
    EXPECT_EQ(snapshot->gitSHA.size(), 40u);
    EXPECT_EQ(snapshot->branch, "feature/header");

    git({"checkout", "-q", "--detach"});
    const auto detached = RepositorySnapshot::at(repository.path(), runner);
    ASSERT_TRUE(detached);
    EXPECT_EQ(detached->gitSHA, snapshot->gitSHA);
    EXPECT_FALSE(detached->toJSON().contains("branch"));
}

TEST_F(RepositorySnapshotTest, CurrentPrefersTheEnvironmentOverTheWorkingDirectory) {
    makeRepositoryWithOneCommit();
    TemporaryFolder elsewhere;
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(elsewhere.path());
    {
        ScopedEnvironment unset("QUILLMER_REPOSITORY_PATH", std::nullopt);
        EXPECT_EQ(RepositorySnapshot::current(runner), std::nullopt);
    }
    ScopedEnvironment set("QUILLMER_REPOSITORY_PATH", repository.path().string());
    EXPECT_EQ(RepositorySnapshot::current(runner).value().branch, "feature/header");
    std::filesystem::current_path(previous);
}

}  // namespace
}  // namespace quillmer::testing
