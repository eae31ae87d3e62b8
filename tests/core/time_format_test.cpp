#include "core/time_format.h"

#include <gtest/gtest.h>

#include <cmath>

namespace quillmer {
namespace {

TEST(TimeFormat, MinutesAndSecondsWithHundredthsNeverSixtySecondsNorNonsense) {
    const std::pair<double, const char*> cases[] = {
        {75.5, "01:15.50"},  {3725.25, "62:05.25"}, {65.25, "01:05.25"}, {0, "00:00.00"},       {6000, "100:00.00"},
        {59.999, "01:00.00"}, {119.996, "02:00.00"}, {-3, "00:00.00"},    {std::nan(""), "00:00.00"}, {INFINITY, "00:00.00"},
    };
    for (const auto& [seconds, text] : cases) EXPECT_EQ(formatTimestamp(seconds), text) << seconds;
}

}  // namespace
}  // namespace quillmer
