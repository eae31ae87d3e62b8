#include "platform/audio_clock_stamper.h"

#include <gtest/gtest.h>

namespace quillmer {
namespace {

constexpr int64_t kTwentyMilliseconds = 960;  // frames at 48 kHz

TEST(AudioClockStamper, JitteryEstimatesGiveSeamlessTimes) {
    AudioClockStamper stamper(48'000);
    const double jitter[] = {0, 0.004, -0.003, 0.006, -0.005, 0.001};
    for (int i = 0; i < 6; ++i) {
        const double stamp = stamper.stamp(10.0 + i * 0.02 + jitter[i], kTwentyMilliseconds);
        EXPECT_NEAR(stamp, 10.0 + i * 0.02, 1e-9) << "buffer " << i;
    }
}

TEST(AudioClockStamper, JumpsForwardWhenAudioWasLost) {
    AudioClockStamper stamper(48'000);
    stamper.stamp(10.0, kTwentyMilliseconds);
    EXPECT_NEAR(stamper.stamp(10.5, kTwentyMilliseconds), 10.5, 1e-9);
    EXPECT_NEAR(stamper.stamp(10.52, kTwentyMilliseconds), 10.52, 1e-9);
}

TEST(AudioClockStamper, NeverStepsBackIntoThePreviousBuffer) {
    AudioClockStamper stamper(48'000);
    stamper.stamp(10.0, kTwentyMilliseconds);
    EXPECT_NEAR(stamper.stamp(9.8, kTwentyMilliseconds), 10.02, 1e-9);
}

TEST(AudioClockStamper, AHoleMovesTheNextBufferOn) {
    AudioClockStamper stamper(48'000);
    stamper.stamp(10.0, kTwentyMilliseconds);
    stamper.skip(480);
    EXPECT_NEAR(stamper.stamp(10.02, kTwentyMilliseconds), 10.03, 1e-9);
}

}  // namespace
}  // namespace quillmer
