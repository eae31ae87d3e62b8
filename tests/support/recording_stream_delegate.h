#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/capture_service.h"

namespace quillmer::testing {

// What a test keeps of each delivered sample (whole frames would be too large to keep).
struct ReceivedSample {
    SampleKind kind = SampleKind::screen;
    double presentationSeconds = 0;
    int width = 0, height = 0;                         // screen
    int audioFrames = 0, channels = 0, sampleRate = 0;  // audio
    float peak = 0;  // largest absolute audio sample
};

// A stream delegate that records what arrives, checks that deliveries never overlap, and lets a
// test wait for samples or a failure with a generous deadline.
class RecordingStreamDelegate : public CaptureStreamDelegate {
public:
    void streamDidOutputSample(const CaptureSample& sample) override;
    void streamDidStopWithError(const std::string& description) override;

    std::vector<ReceivedSample> samples() const { return locked(samples_); }
    std::vector<ReceivedSample> samplesOf(SampleKind kind) const;
    std::vector<std::string> errors() const { return locked(errors_); }
    std::optional<VideoFrame> lastFrame() const { return locked(lastFrame_); }
    bool sawOverlappingDeliveries() const { return overlapped_; }

    // False on timeout.
    bool waitForCount(SampleKind kind, size_t count, std::chrono::seconds timeout = std::chrono::seconds(20)) const;
    bool waitForError(std::chrono::seconds timeout = std::chrono::seconds(20)) const;

    // Run inside each delivery or failure, before it is recorded (to hold the delegate, for example).
    std::function<void(const CaptureSample&)> onSample;
    std::function<void()> onError;

private:
    template <typename T>
    T locked(const T& member) const {
        std::lock_guard lock(mutex_);
        return member;
    }

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<ReceivedSample> samples_;
    std::vector<std::string> errors_;
    std::optional<VideoFrame> lastFrame_;
    std::atomic<int> inside_{0};
    std::atomic<bool> overlapped_{false};
};

}  // namespace quillmer::testing
