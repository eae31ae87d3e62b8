#include "support/fake_capture_service.h"

#include "core/error.h"

namespace quillmer::testing {

FakeCaptureStream::FakeCaptureStream(std::shared_ptr<FakeStreamRecord> record, std::optional<std::string> startError,
                                     std::optional<std::string> stopError)
    : record_(std::move(record)), startError_(std::move(startError)), stopError_(std::move(stopError)) {}

FakeCaptureStream::~FakeCaptureStream() { record_->destroyed = true; }

void FakeCaptureStream::start() {
    if (startError_) throw Error(*startError_);
    record_->started = true;
}

void FakeCaptureStream::stop() {
    record_->stopped = true;
    if (stopError_) throw Error(*stopError_);
}

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
    return std::make_unique<FakeCaptureStream>(record, startError, stopError);
}

CaptureSample screenSample(double seconds, int width, int height) {
    CaptureSample sample;
    sample.kind = SampleKind::screen;
    sample.video.presentationSeconds = seconds;
    sample.video.width = width;
    sample.video.height = height;
    sample.video.bytesPerRow = width * 4;
    sample.video.pixels = std::make_shared<const std::vector<uint8_t>>(static_cast<size_t>(width) * 4 * height, 0x80);
    return sample;
}

CaptureSample audioSample(SampleKind kind, double seconds, int channels) {
    CaptureSample sample;
    sample.kind = kind;
    sample.audio.presentationSeconds = seconds;
    sample.audio.sampleRate = 48'000;
    sample.audio.channels = channels;
    sample.audio.samples.assign(static_cast<size_t>(480) * channels, 0.25f);
    return sample;
}

}  // namespace quillmer::testing
