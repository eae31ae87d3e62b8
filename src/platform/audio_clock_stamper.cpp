#include "platform/audio_clock_stamper.h"

namespace quillmer {

AudioClockStamper::AudioClockStamper(int sampleRate, double toleranceSeconds)
    : sampleRate_(sampleRate > 0 ? sampleRate : 1), tolerance_(toleranceSeconds) {}

double AudioClockStamper::stamp(double estimatedSeconds, int64_t frames) {
    double start = estimatedSeconds;
    if (nextStart_ && estimatedSeconds <= *nextStart_ + tolerance_) start = *nextStart_;
    nextStart_ = start + static_cast<double>(frames) / sampleRate_;
    return start;
}

void AudioClockStamper::skip(int64_t frames) {
    if (nextStart_) *nextStart_ += static_cast<double>(frames) / sampleRate_;
}

}  // namespace quillmer
