#pragma once

#include <array>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "platform/capture_service.h"

namespace quillmer {

inline constexpr const char* kCaptureSampleQueueLabel = "ai.quillmer.capture.samples";

// How many samples of each kind may wait for the delegate before new ones are dropped.
struct CaptureSampleQueueLimits {
    size_t screen = 5;
    size_t audio = 50;  // per audio kind; about a second of 20 ms buffers
};

// The serial sample queue of one capture stream: one delivery thread hands queued samples to the
// delegate one at a time, in the order they were pushed. Sources push from their own threads and
// never wait: when a kind's limit is reached the new sample is dropped.
class CaptureSampleQueue {
public:
    CaptureSampleQueue(CaptureStreamDelegate& delegate, CaptureSampleQueueLimits limits);
    ~CaptureSampleQueue();
    CaptureSampleQueue(const CaptureSampleQueue&) = delete;
    CaptureSampleQueue& operator=(const CaptureSampleQueue&) = delete;

    void start();

    // Queues a sample for delivery; false when it was dropped (queue full, not running, or failed).
    bool push(CaptureSample sample);

    // A source failed: samples already queued are delivered, then the delegate hears this
    // description once; later samples and failures are dropped. Ignored once stop() has begun.
    void reportFailure(const std::string& description);

    // Delivers what is already queued, then ends the delivery thread; after it returns the delegate
    // hears nothing more. Called from inside a delegate callback it discards the rest instead.
    void stop();

    uint64_t droppedSampleCount() const;

private:
    enum class State { idle, running, stopping, stopped };

    void deliverUntilStopped();
    static size_t kindIndex(SampleKind kind) { return static_cast<size_t>(kind); }

    CaptureStreamDelegate& delegate_;
    const CaptureSampleQueueLimits limits_;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<CaptureSample> pending_;
    std::array<size_t, 3> pendingByKind_{};
    std::optional<std::string> failure_;
    bool failed_ = false;
    State state_ = State::idle;
    uint64_t dropped_ = 0;
    std::thread thread_;
};

}  // namespace quillmer
