#include "core/time_format.h"

#include <gtest/gtest.h>

#include <cmath>

namespace quillmer {
namespace {

TEST(TimeFormat, MinutesAndSecondsWithHundredths) {
    EXPECT_EQ(formatTimestamp(75.5), "01:15.50");
    EXPECT_EQ(formatTimestamp(3725.25), "62:05.25");
    EXPECT_EQ(formatTimestamp(65.25), "01:05.25");
    EXPECT_EQ(formatTimestamp(0), "00:00.00");
    EXPECT_EQ(formatTimestamp(6000), "100:00.00");
}

TEST(TimeFormat, NeverShowsSixtySeconds) {
    EXPECT_EQ(formatTimestamp(59.999), "01:00.00");
    EXPECT_EQ(formatTimestamp(119.996), "02:00.00");
}

TEST(TimeFormat, NonsenseInputReadsAsZero) {
    EXPECT_EQ(formatTimestamp(-3), "00:00.00");
    EXPECT_EQ(formatTimestamp(std::nan("")), "00:00.00");
    EXPECT_EQ(formatTimestamp(INFINITY), "00:00.00");
}

}  // namespace
}  // namespace quillmer
