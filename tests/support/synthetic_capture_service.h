#pragma once

#include <atomic>
#include <optional>
#include <string>
#include <vector>

#include "platform/capture_service.h"

namespace quillmer::testing {

struct SyntheticCaptureOptions {
    std::vector<DisplayDescription> displays{{1, 320, 180}};
    // shareableDisplays() throws an Error with this text.
    std::optional<std::string> displaysFailure;
    // makeStream() throws an Error with this text, as when an output cannot be added.
    std::optional<std::string> addOutputFailure;
    // The screen stops after this many frames (audio goes on until stop).
    std::optional<int> frameLimit;
    // After this many frames the stream fails with `failureDescription`.
    std::optional<int> failAfterFrames;
    std::string failureDescription = "The synthetic display was disconnected.";
    bool hasMicrophone = true;
    double systemToneHz = 440;
    double microphoneToneHz = 660;
    double audioBufferSeconds = 0.02;
};

// A capture service with no display or sound server: a moving test pattern at the configured
// size and frame rate, a sine tone as system audio (2 channels) and another as the microphone
// (1 channel), 48 kHz, all stamped on the capture clock and paced in real time.
class SyntheticCaptureService : public CaptureService {
public:
    explicit SyntheticCaptureService(SyntheticCaptureOptions options = {});

    std::vector<DisplayDescription> shareableDisplays() override;
    std::unique_ptr<CaptureStream> makeStream(const CaptureStreamConfiguration& configuration,
                                              CaptureStreamDelegate& delegate) override;

    int streamsMade() const { return streamsMade_; }

private:
    SyntheticCaptureOptions options_;
    std::atomic<int> streamsMade_{0};
};

// The number of the frame (0, 1, 2 …) a synthetic frame shows, read from its first pixel.
int syntheticFrameNumber(const VideoFrame& frame);

}  // namespace quillmer::testing
