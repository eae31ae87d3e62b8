#include "core/atomic_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "core/error.h"
#include "support/temporary_folder.h"

namespace quillmer {
namespace {

size_t entriesIn(const std::filesystem::path& folder) {
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(folder), {}));
}

TEST(AtomicFile, ReplacesTheWholeFileKeepsItsModeAndFailuresLeaveNothingBehind) {
    testing::TemporaryFolder folder;
    const auto ownerOnly = std::filesystem::perms::owner_read | std::filesystem::perms::owner_write;
    writeFileAtomically(folder / "diagnostics.json", "first, longer content", {.permissions = 0600});
    EXPECT_EQ(std::filesystem::status(folder / "diagnostics.json").permissions(), ownerOnly);
    writeFileAtomically(folder / "diagnostics.json", "second");
    EXPECT_EQ(readWholeFile(folder / "diagnostics.json"), "second");
    EXPECT_EQ(std::filesystem::status(folder / "diagnostics.json").permissions(), ownerOnly);
    EXPECT_EQ(entriesIn(folder.path()), 1u);

    EXPECT_THROW(writeFileAtomically(folder / "missing" / "session.json", "x"), FileSystemError);
    // A folder in the way of the rename: the temporary file must not stay.
    testing::writeTestFile(folder / "session.json" / "keep", "k");
    EXPECT_THROW(writeFileAtomically(folder / "session.json", "x"), FileSystemError);
    EXPECT_EQ(entriesIn(folder.path()), 2u);
    EXPECT_THROW(readWholeFile(folder.path()), FileSystemError);
    EXPECT_THROW(readWholeFile(folder / "absent"), FileSystemError);
}

// A writer killed at any moment leaves either the old or the new bytes, never a truncated mix.
TEST(AtomicFile, KillDuringRewriteNeverLeavesATruncatedFile) {
    testing::TemporaryFolder folder;
    const auto file = folder / "session.json";
    const std::string a(1 << 20, 'a'), b(1 << 20, 'b');
    writeFileAtomically(file, a);
    for (int round = 0; round < 12; ++round) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (int i = 0;; ++i) writeFileAtomically(file, i % 2 ? a : b);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(3 + round * 4));
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        const std::string contents = readWholeFile(file);
        ASSERT_TRUE(contents == a || contents == b) << "round " << round << ": " << contents.size() << " bytes";
    }
}

}  // namespace
}  // namespace quillmer
