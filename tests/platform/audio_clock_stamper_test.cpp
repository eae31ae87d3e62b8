#include "platform/audio_clock_stamper.h"

#include <gtest/gtest.h>

namespace quillmer {
namespace {

TEST(AudioClockStamper, StampsBuffersSeamlesslyAndMovesOnOnlyForLostAudio) {
    constexpr int64_t kTwentyMilliseconds = 960;  // frames at 48 kHz
    struct Case {
        const char* name;
        std::vector<double> estimates;
        int64_t framesSkippedBeforeLast;
        std::vector<double> expected;
    };
    for (const auto& c : std::vector<Case>{
             {"jittery estimates", {10.0, 10.024, 10.037, 10.066, 10.075, 10.101}, 0, {10.0, 10.02, 10.04, 10.06, 10.08, 10.1}},
             {"audio was lost", {10.0, 10.5, 10.52}, 0, {10.0, 10.5, 10.52}},
             {"an estimate from the past", {10.0, 9.8}, 0, {10.0, 10.02}},
             {"a hole", {10.0, 10.02}, 480, {10.0, 10.03}},
         }) {
        AudioClockStamper stamper(48'000);
        for (size_t i = 0; i < c.estimates.size(); ++i) {
            if (i + 1 == c.estimates.size() && c.framesSkippedBeforeLast) stamper.skip(c.framesSkippedBeforeLast);
            EXPECT_NEAR(stamper.stamp(c.estimates[i], kTwentyMilliseconds), c.expected[i], 1e-9) << c.name << " " << i;
        }
    }
}

}  // namespace
}  // namespace quillmer
