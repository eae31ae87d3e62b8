#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quillmer {

// One display that can be recorded, as the system reports it (XRandR monitor on Linux).
struct DisplayDescription {
    uint32_t displayID = 0;
    int width = 0;
    int height = 0;
    bool operator==(const DisplayDescription&) const = default;
};

// One screen frame. Pixels are BGRA (X11's native layout), `bytesPerRow` per row.
struct VideoFrame {
    double presentationSeconds = 0;  // on the capture's one source clock
    int width = 0;
    int height = 0;
    int bytesPerRow = 0;
    std::shared_ptr<const std::vector<uint8_t>> pixels;

    bool isValid() const {
        return width > 0 && height > 0 && bytesPerRow >= width * 4 && pixels &&
               pixels->size() >= static_cast<size_t>(bytesPerRow) * static_cast<size_t>(height);
    }
};

// One run of audio: interleaved float samples in [-1, 1].
struct AudioBuffer {
    double presentationSeconds = 0;  // of the first frame, on the same source clock as video
    int sampleRate = 0;
    int channels = 0;
    std::vector<float> samples;

    int frameCount() const { return channels > 0 ? static_cast<int>(samples.size()) / channels : 0; }
    bool isValid() const { return sampleRate > 0 && channels > 0 && frameCount() > 0; }
};

enum class SampleKind { screen, systemAudio, microphone };

struct CaptureSample {
    SampleKind kind = SampleKind::screen;
    VideoFrame video;   // for screen samples
    AudioBuffer audio;  // for system-audio and microphone samples
};

struct CaptureStreamConfiguration {
    DisplayDescription display;
    double minimumFrameIntervalSeconds = 1.0 / 30.0;  // at most 30 frames per second
    int queueDepth = 5;
    bool capturesAudio = true;
    bool excludesCurrentProcessAudio = true;
    bool capturesMicrophone = true;
};

// Receives a running stream's samples. Samples arrive on the stream's one serial sample queue
// ("ai.quillmer.capture.samples"), never two at once; a stop with an error may arrive on any thread.
class CaptureStreamDelegate {
public:
    virtual ~CaptureStreamDelegate() = default;
    virtual void streamDidOutputSample(const CaptureSample& sample) = 0;
    virtual void streamDidStopWithError(const std::string& description) = 0;
};

// A screen-and-audio capture of one display. Sources never block on a slow delegate: when the
// sample queue is full, new samples are dropped.
class CaptureStream {
public:
    virtual ~CaptureStream() = default;
    // Starts every source; throws quillmer::Error (what() = description) when one cannot start.
    virtual void start() = 0;
    // Stops every source; after it returns no more samples are delivered. Throws on an unclean stop.
    virtual void stop() = 0;
};

class CaptureService {
public:
    virtual ~CaptureService() = default;
    // Displays in system order. Throws quillmer::Error when the display server cannot be asked.
    virtual std::vector<DisplayDescription> shareableDisplays() = 0;
    // Throws quillmer::Error when an output (screen, audio, microphone) cannot be added.
    virtual std::unique_ptr<CaptureStream> makeStream(const CaptureStreamConfiguration& configuration,
                                                      CaptureStreamDelegate& delegate) = 0;
};

}  // namespace quillmer
