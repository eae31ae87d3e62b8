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
    int width = 0;
    int height = 0;
    int audioFrames = 0;
    int channels = 0;
    int sampleRate = 0;
    float peak = 0;  // largest absolute audio sample
};

// A stream delegate that records what arrives, checks that deliveries never overlap, and lets a
// test wait for a condition with a generous deadline.
class RecordingStreamDelegate : public CaptureStreamDelegate {
public:
    void streamDidOutputSample(const CaptureSample& sample) override;
    void streamDidStopWithError(const std::string& description) override;

    std::vector<ReceivedSample> samples() const;
    std::vector<ReceivedSample> samplesOf(SampleKind kind) const;
    std::vector<std::string> errors() const;
    std::optional<VideoFrame> lastFrame() const;
    bool sawOverlappingDeliveries() const { return overlapped_; }

    // Waits until the predicate holds over the recorded samples and errors; false on timeout.
    bool waitUntil(const std::function<bool(const std::vector<ReceivedSample>&, const std::vector<std::string>&)>& done,
                   std::chrono::seconds timeout = std::chrono::seconds(20)) const;
    bool waitForCount(SampleKind kind, size_t count, std::chrono::seconds timeout = std::chrono::seconds(20)) const;
    bool waitForError(std::chrono::seconds timeout = std::chrono::seconds(20)) const;

    // Runs inside each delivery, before it is recorded (to slow the delegate down, for example).
    std::function<void(const CaptureSample&)> onSample;

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<ReceivedSample> samples_;
    std::vector<std::string> errors_;
    std::optional<VideoFrame> lastFrame_;
    std::atomic<int> inside_{0};
    std::atomic<bool> overlapped_{false};
};

}  // namespace quillmer::testing
