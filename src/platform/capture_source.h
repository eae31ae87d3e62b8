#pragma once

namespace quillmer {

class CaptureSampleQueue;

// One producer of samples in a capture stream (a screen, a sound device, a test generator).
class CaptureSource {
public:
    virtual ~CaptureSource() = default;
    // Begins pushing samples into the queue; throws quillmer::Error when the source cannot start.
    // A failure after a successful start goes to the queue's reportFailure.
    virtual void start(CaptureSampleQueue& queue) = 0;
    // After it returns the source pushes nothing more. Safe to call more than once.
    virtual void stop() = 0;
};

}  // namespace quillmer
