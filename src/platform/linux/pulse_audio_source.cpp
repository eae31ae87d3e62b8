#include "platform/linux/pulse_audio_source.h"

#include <cstring>
#include <utility>

#include "core/error.h"
#include "platform/capture_clock.h"
#include "platform/capture_sample_queue.h"

namespace quillmer {
namespace {

constexpr pa_usec_t kFragmentMicroseconds = 20'000;

}  // namespace

PulseAudioSource::PulseAudioSource(SampleKind kind, std::string sourceName, int channels,
                                   std::unique_ptr<PulseAudioConnection> connection)
    : kind_(kind), sourceName_(std::move(sourceName)), channels_(channels), connection_(std::move(connection)) {}

PulseAudioSource::~PulseAudioSource() { stop(); }

std::string PulseAudioSource::trackName() const {
    return kind_ == SampleKind::microphone ? "the microphone" : "system audio";
}

void PulseAudioSource::start(CaptureSampleQueue& queue) {
    PulseAudioConnection::Lock lock(*connection_);
    if (stream_) return;
    const pa_sample_spec spec{PA_SAMPLE_FLOAT32LE, kSampleRate, static_cast<uint8_t>(channels_)};
    const std::string streamName = kind_ == SampleKind::microphone ? "Quillmer microphone" : "Quillmer system audio";
    stream_ = pa_stream_new(connection_->context(), streamName.c_str(), &spec, nullptr);
    if (!stream_) throw Error("Recording " + trackName() + " could not start: " + connection_->lastErrorText() + ".");

    pa_buffer_attr attributes;
    std::memset(&attributes, 0xff, sizeof attributes);  // every field "server default" (-1)
    attributes.fragsize = static_cast<uint32_t>(pa_usec_to_bytes(kFragmentMicroseconds, &spec));
    pa_stream_set_state_callback(stream_, onStateChanged, this);
    const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_AUTO_TIMING_UPDATE |
                                                      PA_STREAM_INTERPOLATE_TIMING);
    bool answered = true;
    if (pa_stream_connect_record(stream_, sourceName_.c_str(), &attributes, flags) == 0) {
        answered = connection_->waitUntil([this] {
            const pa_stream_state_t state = pa_stream_get_state(stream_);
            return state == PA_STREAM_READY || !PA_STREAM_IS_GOOD(state);
        });
    }
    if (pa_stream_get_state(stream_) != PA_STREAM_READY) {
        const std::string reason = answered ? connection_->lastErrorText() : PulseAudioConnection::timeoutText();
        releaseStream();
        throw Error("Recording " + trackName() + " from the PulseAudio source \"" + sourceName_ +
                    "\" could not start: " + reason + ".");
    }
    queue_ = &queue;
    pa_stream_set_read_callback(stream_, onReadable, this);
}

void PulseAudioSource::stop() {
    PulseAudioConnection::Lock lock(*connection_);
    queue_ = nullptr;
    releaseStream();
}

void PulseAudioSource::releaseStream() {
    if (!stream_) return;
    pa_stream_set_state_callback(stream_, nullptr, nullptr);
    pa_stream_set_read_callback(stream_, nullptr, nullptr);
    pa_stream_disconnect(stream_);
    pa_stream_unref(stream_);
    stream_ = nullptr;
}

void PulseAudioSource::onStateChanged(pa_stream*, void* self) {
    auto& source = *static_cast<PulseAudioSource*>(self);
    pa_threaded_mainloop_signal(source.connection_->mainloop(), 0);
    if (source.queue_ && !PA_STREAM_IS_GOOD(pa_stream_get_state(source.stream_))) source.reportFailure();
}

void PulseAudioSource::onReadable(pa_stream*, size_t, void* self) { static_cast<PulseAudioSource*>(self)->readAvailable(); }

void PulseAudioSource::reportFailure() {
    if (!connection_->isReady()) {
        queue_->reportFailure("The PulseAudio server closed the connection while recording " + trackName() + ".");
    } else {
        queue_->reportFailure("Recording " + trackName() + " from the PulseAudio source \"" + sourceName_ +
                              "\" stopped: " + connection_->lastErrorText() + ".");
    }
    queue_ = nullptr;
}

void PulseAudioSource::readAvailable() {
    const size_t frameBytes = sizeof(float) * static_cast<size_t>(channels_);
    while (queue_ && pa_stream_readable_size(stream_) > 0) {
        const void* data = nullptr;
        size_t bytes = 0;
        if (pa_stream_peek(stream_, &data, &bytes) < 0) {
            reportFailure();
            return;
        }
        if (bytes == 0) return;
        const int64_t frames = static_cast<int64_t>(bytes / frameBytes);
        if (!data) {
            // A hole: the server lost this much audio.
            stamper_.skip(frames);
            pa_stream_drop(stream_);
            continue;
        }
        // The chunk at the read index was captured `latency` ago (device latency plus what waits here).
        const double now = captureClockSeconds();
        pa_usec_t latency = 0;
        int negative = 0;
        double estimatedStart;
        if (pa_stream_get_latency(stream_, &latency, &negative) == 0) {
            estimatedStart = now + (negative ? 1.0 : -1.0) * static_cast<double>(latency) / 1e6;
        } else {
            estimatedStart = now - static_cast<double>(pa_stream_readable_size(stream_) / frameBytes) / kSampleRate;
        }
        if (frames > 0) {
            CaptureSample sample;
            sample.kind = kind_;
            sample.audio.sampleRate = kSampleRate;
            sample.audio.channels = channels_;
            sample.audio.presentationSeconds = stamper_.stamp(estimatedStart, frames);
            sample.audio.samples.resize(static_cast<size_t>(frames) * static_cast<size_t>(channels_));
            std::memcpy(sample.audio.samples.data(), data, static_cast<size_t>(frames) * frameBytes);
            queue_->push(std::move(sample));
        }
        pa_stream_drop(stream_);
    }
}

}  // namespace quillmer
