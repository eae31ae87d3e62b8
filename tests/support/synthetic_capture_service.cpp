#include "support/synthetic_capture_service.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "core/error.h"
#include "platform/capture_sample_queue.h"
#include "platform/capture_source.h"
#include "platform/paced_thread.h"
#include "platform/sourced_capture_stream.h"

namespace quillmer::testing {
namespace {

constexpr int kSampleRate = 48'000;

// A gradient with a bright bar moving right by 4 pixels a frame; the first pixel carries the
// frame number (blue, green, red = its low, middle and high byte).
VideoFrame patternFrame(const DisplayDescription& display, int number, double seconds) {
    VideoFrame frame;
    frame.presentationSeconds = seconds;
    frame.width = display.width;
    frame.height = display.height;
    frame.bytesPerRow = display.width * 4;
    auto pixels = std::make_shared<std::vector<uint8_t>>(static_cast<size_t>(frame.bytesPerRow) * display.height);
    const int bar = (number * 4) % std::max(1, display.width);
    for (int y = 0; y < display.height; ++y) {
        uint8_t* row = pixels->data() + static_cast<size_t>(y) * frame.bytesPerRow;
        for (int x = 0; x < display.width; ++x) {
            const bool onBar = x >= bar && x < bar + 16;
            row[x * 4 + 0] = onBar ? 255 : static_cast<uint8_t>(x * 255 / std::max(1, display.width));
            row[x * 4 + 1] = onBar ? 255 : static_cast<uint8_t>(y * 255 / std::max(1, display.height));
            row[x * 4 + 2] = onBar ? 255 : 64;
            row[x * 4 + 3] = 255;
        }
    }
    (*pixels)[0] = static_cast<uint8_t>(number & 0xff);
    (*pixels)[1] = static_cast<uint8_t>((number >> 8) & 0xff);
    (*pixels)[2] = static_cast<uint8_t>((number >> 16) & 0xff);
    frame.pixels = std::move(pixels);
    return frame;
}

class SyntheticScreenSource : public CaptureSource {
public:
    SyntheticScreenSource(DisplayDescription display, double interval, const SyntheticCaptureOptions& options)
        : display_(display), interval_(interval), options_(options) {}
    ~SyntheticScreenSource() override { stop(); }

    void start(CaptureSampleQueue& queue) override {
        thread_.start(interval_, PacedThread::Lateness::skipMissed, [this, &queue](uint64_t, double due) {
            if (options_.failAfterFrames && produced_ >= *options_.failAfterFrames) {
                queue.reportFailure(options_.failureDescription);
                return false;
            }
            if (options_.frameLimit && produced_ >= *options_.frameLimit) return false;
            CaptureSample sample;
            sample.kind = SampleKind::screen;
            sample.video = patternFrame(display_, produced_++, due);
            queue.push(std::move(sample));
            return true;
        });
    }
    void stop() override { thread_.stop(); }

private:
    DisplayDescription display_;
    double interval_;
    SyntheticCaptureOptions options_;
    int produced_ = 0;
    PacedThread thread_;
};

class SyntheticToneSource : public CaptureSource {
public:
    SyntheticToneSource(SampleKind kind, int channels, double hz, double bufferSeconds)
        : kind_(kind), channels_(channels), hz_(hz),
          bufferFrames_(std::max(1, static_cast<int>(std::lround(bufferSeconds * kSampleRate)))) {}
    ~SyntheticToneSource() override { stop(); }

    void start(CaptureSampleQueue& queue) override {
        const double period = static_cast<double>(bufferFrames_) / kSampleRate;
        thread_.start(period, PacedThread::Lateness::catchUp, [this, &queue](uint64_t index, double due) {
            CaptureSample sample;
            sample.kind = kind_;
            sample.audio.presentationSeconds = due;
            sample.audio.sampleRate = kSampleRate;
            sample.audio.channels = channels_;
            sample.audio.samples.resize(static_cast<size_t>(bufferFrames_) * channels_);
            const uint64_t first = index * static_cast<uint64_t>(bufferFrames_);
            for (int frame = 0; frame < bufferFrames_; ++frame) {
                const double t = static_cast<double>(first + frame) / kSampleRate;
                const auto value = static_cast<float>(0.25 * std::sin(2 * std::numbers::pi * hz_ * t));
                for (int channel = 0; channel < channels_; ++channel) sample.audio.samples[frame * channels_ + channel] = value;
            }
            queue.push(std::move(sample));
            return true;
        });
    }
    void stop() override { thread_.stop(); }

private:
    SampleKind kind_;
    int channels_;
    double hz_;
    int bufferFrames_;
    PacedThread thread_;
};

}  // namespace

SyntheticCaptureService::SyntheticCaptureService(SyntheticCaptureOptions options) : options_(std::move(options)) {}

std::vector<DisplayDescription> SyntheticCaptureService::shareableDisplays() {
    if (options_.displaysFailure) throw Error(*options_.displaysFailure);
    return options_.displays;
}

std::unique_ptr<CaptureStream> SyntheticCaptureService::makeStream(const CaptureStreamConfiguration& configuration,
                                                                   CaptureStreamDelegate& delegate) {
    if (options_.addOutputFailure) throw Error(*options_.addOutputFailure);
    const auto& displays = options_.displays;
    auto display = std::find_if(displays.begin(), displays.end(), [&](const DisplayDescription& candidate) {
        return candidate.displayID == configuration.display.displayID;
    });
    if (display == displays.end()) {
        throw Error("The display " + std::to_string(configuration.display.displayID) + " is not connected.");
    }

    std::vector<std::unique_ptr<CaptureSource>> sources;
    const double interval = configuration.minimumFrameIntervalSeconds > 0 ? configuration.minimumFrameIntervalSeconds
                                                                          : 1.0 / 30.0;
    sources.push_back(std::make_unique<SyntheticScreenSource>(*display, interval, options_));
    if (configuration.capturesAudio) {
        sources.push_back(std::make_unique<SyntheticToneSource>(SampleKind::systemAudio, 2, options_.systemToneHz,
                                                                options_.audioBufferSeconds));
    }
    if (configuration.capturesMicrophone && options_.hasMicrophone) {
        sources.push_back(std::make_unique<SyntheticToneSource>(SampleKind::microphone, 1, options_.microphoneToneHz,
                                                                options_.audioBufferSeconds));
    }
    CaptureSampleQueueLimits limits;
    limits.screen = static_cast<size_t>(std::max(1, configuration.queueDepth));
    ++streamsMade_;
    return std::make_unique<SourcedCaptureStream>(delegate, limits, std::move(sources));
}

int syntheticFrameNumber(const VideoFrame& frame) {
    if (!frame.isValid()) return -1;
    const auto& p = *frame.pixels;
    return p[0] | (p[1] << 8) | (p[2] << 16);
}

}  // namespace quillmer::testing
