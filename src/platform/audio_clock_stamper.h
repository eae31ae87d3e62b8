#pragma once

#include <cstdint>
#include <optional>

namespace quillmer {

// Gives consecutive audio buffers their start times on the capture clock. Each buffer comes with
// an estimate (read time minus the device's latency), which jitters by milliseconds; buffers that
// follow on seamlessly are stamped where the previous one ended, so times stay continuous and
// increasing. Only when the estimate runs ahead by more than the tolerance (audio was lost, the
// device paused) does the stamp jump forward to the estimate.
class AudioClockStamper {
public:
    explicit AudioClockStamper(int sampleRate, double toleranceSeconds = 0.05);

    // The start time for a buffer of `frames` frames whose first frame is estimated at `estimatedSeconds`.
    double stamp(double estimatedSeconds, int64_t frames);
    // Frames the device reported as lost: the next buffer starts after them.
    void skip(int64_t frames);

private:
    int sampleRate_;
    double tolerance_;
    std::optional<double> nextStart_;
};

}  // namespace quillmer
