#include "app/byte_range.h"

#include <gtest/gtest.h>

namespace quillmer {
namespace {

TEST(ByteRange, FollowsOneRangeAndAnswersAnythingElseWithTheWholeFile) {
    const ByteRange whole{0, 1000};
    const std::pair<std::optional<std::string_view>, ByteRange> cases[] = {
        {"bytes=100-", {100, 1000}}, {"bytes=100-199", {100, 200}}, {"Bytes=999-999", {999, 1000}},
        {"bytes=100-5000", {100, 1000}}, {"bytes=-300", {700, 1000}}, {"bytes=-5000", whole},
        {"bytes=0-18446744073709551615", whole},
        // An end before its start is not a range: the header is ignored, not turned into one byte.
        {"bytes=100-50", whole}, {"bytes=2000-", whole}, {"bytes=1000-", whole}, {"bytes=-0", whole},
        {"bytes=100-junk", whole}, {"bytes=0-1,5-6", whole}, {"bytes=+5-", whole}, {"bytes=abc-", whole},
        {"items=0-5", whole}, {"bytes=", whole}, {"bytes=99999999999999999999999-", whole}, {std::nullopt, whole},
    };
    for (const auto& [header, expected] : cases)
        EXPECT_EQ(byteRangeFromHeader(header, 1000), expected) << header.value_or("(none)");
    EXPECT_TRUE(byteRangeFromHeader("bytes=0-", 1000).isWholeFile(1000));
    EXPECT_EQ(byteRangeFromHeader("bytes=-5", 0), (ByteRange{0, 0}));
}

}  // namespace
}  // namespace quillmer
