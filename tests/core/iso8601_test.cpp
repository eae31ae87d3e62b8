#include "core/iso8601.h"

#include <gtest/gtest.h>

namespace quillmer {
namespace {

using namespace std::chrono;

Timestamp at(int y, unsigned m, unsigned d, int h, int mi, int s) {
    return sys_days{year{y} / month{m} / day{d}} + hours{h} + minutes{mi} + seconds{s};
}

TEST(ISO8601, FormatsUTCWholeSeconds) {
    EXPECT_EQ(formatISO8601(at(2026, 5, 4, 9, 30, 12)), "2026-05-04T09:30:12Z");
    EXPECT_EQ(formatISO8601(at(2026, 5, 4, 9, 30, 12) + milliseconds{999}), "2026-05-04T09:30:12Z");
    EXPECT_EQ(formatISO8601(at(1969, 12, 31, 23, 59, 59) + milliseconds{500}), "1969-12-31T23:59:59Z");
}

TEST(ISO8601, ParsesWithAndWithoutFractionAndOffsets) {
    EXPECT_EQ(parseISO8601("2026-05-04T09:30:12Z"), at(2026, 5, 4, 9, 30, 12));
    EXPECT_EQ(parseISO8601("2026-05-04T09:30:12.250Z"), at(2026, 5, 4, 9, 30, 12) + milliseconds{250});
    EXPECT_EQ(parseISO8601("2026-05-04T11:30:12+02:00"), at(2026, 5, 4, 9, 30, 12));
    EXPECT_EQ(parseISO8601("2026-05-04T04:00:12-0530"), at(2026, 5, 4, 9, 30, 12));
    const auto parsed = parseISO8601("2026-05-04T09:30:12.5Z");
    ASSERT_TRUE(parsed);
    EXPECT_EQ(formatISO8601(*parsed), "2026-05-04T09:30:12Z");
}

TEST(ISO8601, RefusesMalformedOrImpossibleDates) {
    for (const char* text : {"", "2026-05-04", "2026-05-04T09:30:12", "2026-02-30T00:00:00Z", "2026-13-01T00:00:00Z",
                             "2026-05-04T24:00:00Z", "2026-05-04T09:30:12Zjunk", "2026-05-04T09:30:12.Z",
                             "26-05-04T09:30:12Z", "2026-05-04 09:30:12Z", "2026-05-04T09:30:12+2:00"}) {
        EXPECT_FALSE(parseISO8601(text)) << text;
    }
}

}  // namespace
}  // namespace quillmer
