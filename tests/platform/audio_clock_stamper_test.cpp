#include "platform/audio_clock_stamper.h"

#include <gtest/gtest.h>

namespace quillmer {
namespace {

TEST(AudioClockStamper, StampsBuffersSeamlesslyAndMovesOnOnlyForLostAudio) {
    constexpr int64_t kTwentyMilliseconds = 960;  // frames at 48 kHz
    // Name, the clock's estimates for successive buffers, frames lost before the last, the stamps.
    for (const auto& [name, estimates, skipped, expected] :
         std::vector<std::tuple<const char*, std::vector<double>, int64_t, std::vector<double>>>{
             {"jittery estimates", {10.0, 10.024, 10.037, 10.066, 10.075, 10.101}, 0, {10.0, 10.02, 10.04, 10.06, 10.08, 10.1}},
             {"audio was lost", {10.0, 10.5, 10.52}, 0, {10.0, 10.5, 10.52}},
             {"an estimate from the past", {10.0, 9.8}, 0, {10.0, 10.02}},
             {"a hole", {10.0, 10.02}, 480, {10.0, 10.03}},
         }) {
        AudioClockStamper stamper(48'000);
        for (size_t i = 0; i < estimates.size(); ++i) {
            if (i + 1 == estimates.size() && skipped) stamper.skip(skipped);
            EXPECT_NEAR(stamper.stamp(estimates[i], kTwentyMilliseconds), expected[i], 1e-9) << name << " " << i;
        }
    }
}

}  // namespace
}  // namespace quillmer
