#include "support/recording_stream_delegate.h"

#include <algorithm>
#include <cmath>

namespace quillmer::testing {

void RecordingStreamDelegate::streamDidOutputSample(const CaptureSample& sample) {
    if (inside_.fetch_add(1) != 0) overlapped_ = true;
    if (onSample) onSample(sample);
    ReceivedSample received;
    received.kind = sample.kind;
    const bool screen = sample.kind == SampleKind::screen;
    received.presentationSeconds = screen ? sample.video.presentationSeconds : sample.audio.presentationSeconds;
    received.width = sample.video.width;
    received.height = sample.video.height;
    received.audioFrames = sample.audio.frameCount();
    received.channels = sample.audio.channels;
    received.sampleRate = sample.audio.sampleRate;
    for (float value : sample.audio.samples) received.peak = std::max(received.peak, std::fabs(value));
    {
        std::lock_guard lock(mutex_);
        samples_.push_back(received);
        if (screen) lastFrame_ = sample.video;
    }
    inside_.fetch_sub(1);
    changed_.notify_all();
}

void RecordingStreamDelegate::streamDidStopWithError(const std::string& description) {
    if (onError) onError();
    {
        std::lock_guard lock(mutex_);
        errors_.push_back(description);
    }
    changed_.notify_all();
}

std::vector<ReceivedSample> RecordingStreamDelegate::samplesOf(SampleKind kind) const {
    std::vector<ReceivedSample> result = samples();
    std::erase_if(result, [kind](const ReceivedSample& sample) { return sample.kind != kind; });
    return result;
}

bool RecordingStreamDelegate::waitForCount(SampleKind kind, size_t count, std::chrono::seconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] {
        return static_cast<size_t>(std::count_if(samples_.begin(), samples_.end(),
                                                 [&](const ReceivedSample& s) { return s.kind == kind; })) >= count;
    });
}

bool RecordingStreamDelegate::waitForError(std::chrono::seconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return !errors_.empty(); });
}

}  // namespace quillmer::testing
