#include "capture/repository_snapshot.h"

#include <gtest/gtest.h>

#include "platform/linux/posix_process_runner.h"
#include "support/temporary_folder.h"

namespace quillmer {
namespace {

class RepositorySnapshotTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::filesystem::exists("/usr/bin/git")) GTEST_SKIP() << "/usr/bin/git is not installed";
    }

    // Runs git in the test repository; the commit identity is fixed so no global config is needed.
    std::string git(const std::vector<std::string>& arguments) {
        ProcessRequest request;
        request.executable = "/usr/bin/git";
        request.arguments = {"-C", repository.path().string(), "-c", "user.name=Test", "-c", "user.email=t@example.com"};
        request.arguments.insert(request.arguments.end(), arguments.begin(), arguments.end());
        const auto result = runner.run(request);
        EXPECT_TRUE(result.succeeded()) << result.standardError;
        return result.standardOutput.substr(0, result.standardOutput.find('\n'));
    }

    void makeRepositoryWithOneCommit() {
        git({"init", "-q", "-b", "feature/header"});
        git({"commit", "-q", "--allow-empty", "-m", "first"});
    }

    PosixProcessRunner runner;
    testing::TemporaryFolder repository;
};

TEST_F(RepositorySnapshotTest, RecordsRootCommitAndBranchButNoBranchForADetachedHead) {
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

TEST_F(RepositorySnapshotTest, NoRepositoryOrNoCommitMeansNoSnapshot) {
    EXPECT_EQ(RepositorySnapshot::at(repository.path(), runner), std::nullopt);
    git({"init", "-q"});  // a work tree, but HEAD names no commit yet
    EXPECT_EQ(RepositorySnapshot::at(repository.path(), runner), std::nullopt);
    EXPECT_EQ(RepositorySnapshot::at(repository / "does-not-exist", runner), std::nullopt);
}

TEST_F(RepositorySnapshotTest, CurrentPrefersTheEnvironmentOverTheWorkingDirectory) {
    makeRepositoryWithOneCommit();
    testing::TemporaryFolder elsewhere;
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(elsewhere.path());
    {
        testing::ScopedEnvironment unset("QUILLMER_REPOSITORY_PATH", std::nullopt);
        EXPECT_EQ(RepositorySnapshot::current(runner), std::nullopt);
    }
    {
        testing::ScopedEnvironment set("QUILLMER_REPOSITORY_PATH", repository.path().string());
        ASSERT_TRUE(RepositorySnapshot::current(runner));
        EXPECT_EQ(RepositorySnapshot::current(runner)->branch, "feature/header");
    }
    std::filesystem::current_path(previous);
}

}  // namespace
}  // namespace quillmer
