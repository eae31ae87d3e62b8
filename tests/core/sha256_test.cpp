#include "core/sha256.h"

#include <gtest/gtest.h>

#include "core/error.h"
#include "support/temporary_folder.h"

namespace quillmer {
namespace {

TEST(SHA256, KnownDigestAndFileDigestsAcrossPieceBoundaries) {
    EXPECT_EQ(sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    testing::TemporaryFolder folder;
    for (size_t size : {size_t{0}, size_t{1} << 20, (size_t{5} << 19) + 7}) {  // empty, one piece, 2.5 pieces
        std::string bytes(size, '\0');
        for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 131 % 251);
        testing::writeTestFile(folder / "media.bin", bytes);
        EXPECT_EQ(sha256HexOfFile(folder / "media.bin"), sha256Hex(bytes)) << size;
    }
    EXPECT_THROW(sha256HexOfFile(folder / "missing.bin"), FileSystemError);
    EXPECT_THROW(sha256HexOfFile(folder.path()), FileSystemError);

    std::stop_source stop;
    stop.request_stop();
    EXPECT_THROW(sha256HexOfFile(folder / "media.bin", stop.get_token()), CancellationError);
}

}  // namespace
}  // namespace quillmer
