#pragma once

#include <memory>
#include <vector>

#include "platform/capture_sample_queue.h"
#include "platform/capture_service.h"
#include "platform/capture_source.h"

namespace quillmer {

// A capture stream made of independent sources that share one serial sample queue.
class SourcedCaptureStream : public CaptureStream {
public:
    SourcedCaptureStream(CaptureStreamDelegate& delegate, CaptureSampleQueueLimits limits,
                         std::vector<std::unique_ptr<CaptureSource>> sources);
    ~SourcedCaptureStream() override;

    // Starts the queue, then each source in order; if one cannot start, those already started
    // are stopped again and its error is rethrown.
    void start() override;
    void stop() override;

    const CaptureSampleQueue& sampleQueue() const { return queue_; }

private:
    void stopSources();

    CaptureSampleQueue queue_;
    std::vector<std::unique_ptr<CaptureSource>> sources_;
};

}  // namespace quillmer
