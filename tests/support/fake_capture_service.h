#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <utility>
#include <string>
#include <vector>

#include "platform/capture_service.h"

namespace quillmer::testing {

// What the test can still see of a stream after the engine took ownership of it.
struct FakeStreamRecord {
    CaptureStreamConfiguration configuration;
    CaptureStreamDelegate* delegate = nullptr;
    std::atomic<bool> started{false};
    std::atomic<bool> stopped{false};
    std::atomic<bool> destroyed{false};

    // Drive the stream by hand, from any thread, as its sources would.
    void deliver(const CaptureSample& sample) { delegate->streamDidOutputSample(sample); }
    void fail(const std::string& description) { delegate->streamDidStopWithError(description); }
};

// Streams that deliver only what the test hands them; each error set here makes that step throw.
class FakeCaptureService final : public CaptureService {
public:
    std::vector<DisplayDescription> displays;
    std::optional<std::string> displaysError;
    std::optional<std::string> makeStreamError;  // e.g. an output that cannot be added
    std::optional<std::string> startError;
    std::optional<std::string> stopError;
    // When set, a started stream feeds screen samples of this size from its own thread (as real sources
    // do) until it is stopped, so that a capture records at least one frame.
    std::optional<std::pair<int, int>> feedScreen;

    std::vector<DisplayDescription> shareableDisplays() override;
    std::unique_ptr<CaptureStream> makeStream(const CaptureStreamConfiguration& configuration,
                                              CaptureStreamDelegate& delegate) override;

    int streamsMade() const { return static_cast<int>(records_.size()); }
    // The most recent stream; the test must have made one.
    FakeStreamRecord& lastStream() { return *records_.back(); }

private:
    std::vector<std::shared_ptr<FakeStreamRecord>> records_;
};

CaptureSample screenSample(double seconds, int width = 64, int height = 36);
CaptureSample audioSample(SampleKind kind, double seconds, int channels = 2);

}  // namespace quillmer::testing
