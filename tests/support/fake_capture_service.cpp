#include "support/fake_capture_service.h"

#include <chrono>
#include <thread>

#include "core/error.h"

namespace quillmer::testing {

namespace {

class FakeCaptureStream final : public CaptureStream {
public:
    FakeCaptureStream(std::shared_ptr<FakeStreamRecord> record, const FakeCaptureService& service)
        : record_(std::move(record)), startError_(service.startError), stopError_(service.stopError),
          feedScreen_(service.feedScreen) {}
    ~FakeCaptureStream() override {
        feeder_ = {};
        record_->destroyed = true;
    }
    void start() override {
        if (startError_) throw Error(*startError_);
        record_->started = true;
        if (feedScreen_) {
            feeder_ = std::jthread([record = record_, size = *feedScreen_](std::stop_token stop) {
                for (double seconds = 0; !stop.stop_requested(); seconds += 0.005) {
                    record->deliver(screenSample(seconds, size.first, size.second));
                    std::this_thread::sleep_for(std::chrono::milliseconds(5));
                }
            });
        }
    }
    void stop() override {
        feeder_ = {};  // after stop() no sample arrives
        record_->stopped = true;
        if (stopError_) throw Error(*stopError_);
    }

private:
    std::shared_ptr<FakeStreamRecord> record_;
    std::optional<std::string> startError_, stopError_;
    std::optional<std::pair<int, int>> feedScreen_;
    std::jthread feeder_;
};

}  // namespace

std::vector<DisplayDescription> FakeCaptureService::shareableDisplays() {
    if (displaysError) throw Error(*displaysError);
    return displays;
}

std::unique_ptr<CaptureStream> FakeCaptureService::makeStream(const CaptureStreamConfiguration& configuration,
                                                              CaptureStreamDelegate& delegate) {
    if (makeStreamError) throw Error(*makeStreamError);
    auto record = std::make_shared<FakeStreamRecord>();
    record->configuration = configuration;
    record->delegate = &delegate;
    records_.push_back(record);
    return std::make_unique<FakeCaptureStream>(record, *this);
}

CaptureSample screenSample(double seconds, int width, int height) {
    CaptureSample sample;
    sample.kind = SampleKind::screen;
    sample.video = {seconds, width, height, width * 4,
                    std::make_shared<const std::vector<uint8_t>>(static_cast<size_t>(width) * 4 * height, 0x80)};
    return sample;
}

CaptureSample audioSample(SampleKind kind, double seconds, int channels) {
    CaptureSample sample;
    sample.kind = kind;
    sample.audio = {seconds, 48'000, channels, std::vector<float>(static_cast<size_t>(480) * channels, 0.25f)};
    return sample;
}

}  // namespace quillmer::testing
