#include "platform/sourced_capture_stream.h"

#include <utility>

namespace quillmer {

SourcedCaptureStream::SourcedCaptureStream(CaptureStreamDelegate& delegate, CaptureSampleQueueLimits limits,
                                           std::vector<std::unique_ptr<CaptureSource>> sources)
    : queue_(delegate, limits), sources_(std::move(sources)) {}

SourcedCaptureStream::~SourcedCaptureStream() { stop(); }

void SourcedCaptureStream::start() {
    queue_.start();
    try {
        for (auto& source : sources_) source->start(queue_);
    } catch (...) {
        stop();
        throw;
    }
}

void SourcedCaptureStream::stop() {
    stopSources();
    queue_.stop();
}

void SourcedCaptureStream::stopSources() {
    // Reverse of the start order, like unwinding.
    for (auto it = sources_.rbegin(); it != sources_.rend(); ++it) (*it)->stop();
}

}  // namespace quillmer
