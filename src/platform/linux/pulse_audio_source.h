#pragma once

#include <pulse/pulseaudio.h>

#include <memory>
#include <string>

#include "platform/audio_clock_stamper.h"
#include "platform/capture_service.h"
#include "platform/capture_source.h"
#include "platform/linux/pulse_audio_connection.h"

namespace quillmer {

// Records one PulseAudio source as 48 kHz float buffers of about 20 ms, each stamped on the
// capture clock at its first frame.
class PulseAudioSource : public CaptureSource {
public:
    static constexpr int kSampleRate = 48'000;

    // `kind` is systemAudio or microphone; `sourceName` a PulseAudio source name.
    PulseAudioSource(SampleKind kind, std::string sourceName, int channels,
                     std::unique_ptr<PulseAudioConnection> connection);
    ~PulseAudioSource() override;

    // Throws quillmer::Error when the server refuses the recording.
    void start(CaptureSampleQueue& queue) override;
    void stop() override;

private:
    static void onReadable(pa_stream* stream, size_t bytes, void* self);
    static void onStateChanged(pa_stream* stream, void* self);
    void readAvailable();
    void reportFailure();
    std::string trackName() const;
    void releaseStream();

    SampleKind kind_;
    std::string sourceName_;
    int channels_;
    std::unique_ptr<PulseAudioConnection> connection_;
    AudioClockStamper stamper_{kSampleRate};
    // Touched only under the connection's main-loop lock.
    pa_stream* stream_ = nullptr;
    CaptureSampleQueue* queue_ = nullptr;
};

}  // namespace quillmer
