#include "app/byte_range.h"

#include <gtest/gtest.h>

namespace quillmer {
namespace {

TEST(ByteRange, FollowsTheRangeHeaderWhereItMakesSense) {
    EXPECT_EQ(byteRangeFromHeader("bytes=100-", 1000), (ByteRange{100, 1000}));
    EXPECT_EQ(byteRangeFromHeader("bytes=100-199", 1000), (ByteRange{100, 200}));
    EXPECT_EQ(byteRangeFromHeader("bytes=0-", 1000), (ByteRange{0, 1000}));
    EXPECT_TRUE(byteRangeFromHeader("bytes=0-", 1000).isWholeFile(1000));
    EXPECT_EQ(byteRangeFromHeader("bytes=999-999", 1000), (ByteRange{999, 1000}));
}

TEST(ByteRange, AnythingOddMeansTheWholeFileOrAClampedEnd) {
    const ByteRange whole{0, 1000};
    for (const char* header : {"bytes=2000-", "bytes=1000-", "bytes=-500", "bytes=abc-", "items=0-5", "bytes=",
                               "bytes=99999999999999999999999-"}) {
        EXPECT_EQ(byteRangeFromHeader(header, 1000), whole) << header;
    }
    EXPECT_EQ(byteRangeFromHeader(std::nullopt, 1000), whole);
    EXPECT_EQ(byteRangeFromHeader("bytes=100-5000", 1000), (ByteRange{100, 1000}));
    EXPECT_EQ(byteRangeFromHeader("bytes=100-junk", 1000), (ByteRange{100, 1000}));
    EXPECT_EQ(byteRangeFromHeader("bytes=500-100", 1000), (ByteRange{500, 501}));  // end before start: one byte
    EXPECT_EQ(byteRangeFromHeader("bytes=0-18446744073709551615", 1000), whole);
    EXPECT_EQ(byteRangeFromHeader("bytes=0-", 0), (ByteRange{0, 0}));
}

}  // namespace
}  // namespace quillmer
