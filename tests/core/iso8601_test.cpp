#include "core/iso8601.h"

#include <gtest/gtest.h>

namespace quillmer {
namespace {

using namespace std::chrono;

const Timestamp kAt = sys_days{year{2026} / May / 4} + hours{9} + minutes{30} + seconds{12};

TEST(ISO8601, FormatsUTCWholeSecondsParsesFractionsAndOffsetsAndRefusesMalformedOrImpossibleDates) {
    EXPECT_EQ(formatISO8601(kAt + milliseconds{999}), "2026-05-04T09:30:12Z");
    EXPECT_EQ(formatISO8601(sys_days{year{1970} / January / 1} - milliseconds{500}), "1969-12-31T23:59:59Z");
    EXPECT_EQ(parseISO8601("2026-05-04T09:30:12Z"), kAt);
    EXPECT_EQ(parseISO8601("2026-05-04T09:30:12.250Z"), kAt + milliseconds{250});
    EXPECT_EQ(parseISO8601("2026-05-04T11:30:12+02:00"), kAt);
    EXPECT_EQ(parseISO8601("2026-05-04T04:00:12-0530"), kAt);
    for (const char* text : {"", "2026-05-04", "2026-05-04T09:30:12", "2026-02-30T00:00:00Z", "2026-13-01T00:00:00Z",
                             "2026-05-04T24:00:00Z", "2026-05-04T09:30:12Zjunk", "2026-05-04T09:30:12.Z",
                             "26-05-04T09:30:12Z", "2026-05-04 09:30:12Z", "2026-05-04T09:30:12+2:00"})
        EXPECT_FALSE(parseISO8601(text)) << text;
}

}  // namespace
}  // namespace quillmer
