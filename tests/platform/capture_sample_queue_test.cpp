#include "platform/capture_sample_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "core/error.h"
#include "platform/sourced_capture_stream.h"
#include "support/recording_stream_delegate.h"

namespace quillmer {
namespace {

using testing::RecordingStreamDelegate;

CaptureSample sampleAt(SampleKind kind, double seconds) {
    CaptureSample sample;
    sample.kind = kind;
    if (kind == SampleKind::screen) {
        sample.video.presentationSeconds = seconds;
    } else {
        sample.audio = {seconds, 48'000, 1, {0.5f}};
    }
    return sample;
}

// Holds the delegate inside its first delivery until opened.
class Gate {
public:
    explicit Gate(RecordingStreamDelegate& delegate) {
        delegate.onSample = [this](const CaptureSample&) {
            if (first_.exchange(false)) waitInside();
        };
    }
    void waitInside() {
        std::unique_lock lock(mutex_);
        entered_ = true;
        changed_.notify_all();
        changed_.wait(lock, [this] { return open_; });
    }
    void waitUntilEntered() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return entered_; });
    }
    void open() {
        std::lock_guard lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }

private:
    std::atomic<bool> first_{true};
    std::mutex mutex_;
    std::condition_variable changed_;
    bool entered_ = false;
    bool open_ = false;
};

std::vector<double> timesOf(const std::vector<testing::ReceivedSample>& samples) {
    std::vector<double> times;
    for (const auto& sample : samples) times.push_back(sample.presentationSeconds);
    return times;
}

TEST(CaptureSampleQueue, DeliversEverySampleInPushOrderOneAtATime) {
    RecordingStreamDelegate delegate;
    delegate.onSample = [](const CaptureSample&) { std::this_thread::sleep_for(std::chrono::microseconds(200)); };
    CaptureSampleQueue queue(delegate, {1000, 1000});
    queue.start();
    std::vector<double> pushed;
    for (int i = 0; i < 150; ++i) {
        const auto kind = static_cast<SampleKind>(i % 3);
        ASSERT_TRUE(queue.push(sampleAt(kind, i)));
        pushed.push_back(i);
    }
    queue.stop();
    EXPECT_EQ(timesOf(delegate.samples()), pushed);
    EXPECT_FALSE(delegate.sawOverlappingDeliveries());
}

TEST(CaptureSampleQueue, SamplesPushedFromManyThreadsNeverOverlapAndKeepEachThreadsOrder) {
    RecordingStreamDelegate delegate;
    CaptureSampleQueue queue(delegate, {1000, 1000});
    queue.start();
    std::vector<std::thread> producers;
    for (int producer = 0; producer < 3; ++producer) {
        producers.emplace_back([&queue, producer] {
            for (int i = 0; i < 100; ++i) queue.push(sampleAt(static_cast<SampleKind>(producer), producer * 1000 + i));
        });
    }
    for (auto& producer : producers) producer.join();
    queue.stop();
    EXPECT_FALSE(delegate.sawOverlappingDeliveries());
    for (auto kind : {SampleKind::screen, SampleKind::systemAudio, SampleKind::microphone}) {
        auto times = timesOf(delegate.samplesOf(kind));
        ASSERT_EQ(times.size(), 100u);
        EXPECT_TRUE(std::is_sorted(times.begin(), times.end()));
    }
}

TEST(CaptureSampleQueue, AFullQueueDropsNewSamplesWhileTheDelegateIsBusy) {
    RecordingStreamDelegate delegate;
    Gate gate(delegate);
    CaptureSampleQueue queue(delegate, {2, 3});
    queue.start();
    ASSERT_TRUE(queue.push(sampleAt(SampleKind::screen, 0)));
    gate.waitUntilEntered();

    // The delegate is stuck; these pushes must still come back, and only the limit fits.
    std::vector<bool> screenAccepted, audioAccepted;
    for (int i = 1; i <= 5; ++i) screenAccepted.push_back(queue.push(sampleAt(SampleKind::screen, i)));
    for (int i = 1; i <= 5; ++i) audioAccepted.push_back(queue.push(sampleAt(SampleKind::systemAudio, i)));
    EXPECT_EQ(screenAccepted, (std::vector<bool>{true, true, false, false, false}));
    EXPECT_EQ(audioAccepted, (std::vector<bool>{true, true, true, false, false}));
    EXPECT_TRUE(queue.push(sampleAt(SampleKind::microphone, 1))) << "each kind has its own bound";
    EXPECT_EQ(queue.droppedSampleCount(), 5u);

    gate.open();
    queue.stop();
    EXPECT_EQ(timesOf(delegate.samplesOf(SampleKind::screen)), (std::vector<double>{0, 1, 2}));
    EXPECT_EQ(timesOf(delegate.samplesOf(SampleKind::systemAudio)), (std::vector<double>{1, 2, 3}));
}

TEST(CaptureSampleQueue, NothingIsDeliveredOnceStopHasReturned) {
    RecordingStreamDelegate delegate;
    delegate.onSample = [](const CaptureSample&) { std::this_thread::sleep_for(std::chrono::milliseconds(2)); };
    CaptureSampleQueue queue(delegate, {10, 10});
    queue.start();
    for (int i = 0; i < 5; ++i) queue.push(sampleAt(SampleKind::screen, i));
    queue.stop();
    EXPECT_EQ(delegate.samples().size(), 5u) << "what was queued before stop is still delivered";

    EXPECT_FALSE(queue.push(sampleAt(SampleKind::screen, 9)));
    queue.reportFailure("too late");
    queue.stop();
    EXPECT_EQ(delegate.samples().size(), 5u);
    EXPECT_TRUE(delegate.errors().empty());
}

TEST(CaptureSampleQueue, APushBeforeStartIsDropped) {
    RecordingStreamDelegate delegate;
    CaptureSampleQueue queue(delegate, {});
    EXPECT_FALSE(queue.push(sampleAt(SampleKind::screen, 0)));
    queue.start();
    queue.stop();
    EXPECT_TRUE(delegate.samples().empty());
}

class OrderRecordingDelegate : public RecordingStreamDelegate {
public:
    void streamDidStopWithError(const std::string& description) override {
        samplesBeforeError = samples().size();
        RecordingStreamDelegate::streamDidStopWithError(description);
    }
    std::atomic<size_t> samplesBeforeError{0};
};

TEST(CaptureSampleQueue, AFailureArrivesOnceAfterTheSamplesQueuedBeforeIt) {
    OrderRecordingDelegate delegate;
    Gate gate(delegate);
    CaptureSampleQueue queue(delegate, {5, 5});
    queue.start();
    queue.push(sampleAt(SampleKind::screen, 0));
    gate.waitUntilEntered();
    queue.push(sampleAt(SampleKind::screen, 1));
    queue.reportFailure("The display went away.");
    queue.reportFailure("A second source failed too.");
    EXPECT_FALSE(queue.push(sampleAt(SampleKind::screen, 2))) << "a failed stream takes no more samples";
    gate.open();

    ASSERT_TRUE(delegate.waitForError());
    queue.stop();
    EXPECT_EQ(delegate.errors(), std::vector<std::string>{"The display went away."});
    EXPECT_EQ(delegate.samplesBeforeError, 2u);
    EXPECT_EQ(delegate.samples().size(), 2u);
}

TEST(CaptureSampleQueue, StopCalledFromInsideADeliveryEndsDeliveryWithoutDeadlock) {
    RecordingStreamDelegate delegate;
    CaptureSampleQueue* queuePointer = nullptr;
    delegate.onSample = [&](const CaptureSample&) { queuePointer->stop(); };
    CaptureSampleQueue queue(delegate, {10, 10});
    queuePointer = &queue;
    queue.start();
    for (int i = 0; i < 5; ++i) queue.push(sampleAt(SampleKind::screen, i));
    ASSERT_TRUE(delegate.waitForCount(SampleKind::screen, 1));
    queue.stop();
    EXPECT_EQ(delegate.samples().size(), 1u);
}

// A source that records what the stream asks of it.
class FakeSource : public CaptureSource {
public:
    explicit FakeSource(std::vector<std::string>& log, std::string name, bool failsToStart = false)
        : log_(log), name_(std::move(name)), failsToStart_(failsToStart) {}
    void start(CaptureSampleQueue& queue) override {
        if (failsToStart_) throw Error(name_ + " cannot start");
        log_.push_back("start " + name_);
        queue.push(sampleAt(SampleKind::screen, 0));
    }
    void stop() override { log_.push_back("stop " + name_); }

private:
    std::vector<std::string>& log_;
    std::string name_;
    bool failsToStart_;
};

TEST(SourcedCaptureStream, StartsSourcesInOrderAndStopsThemInReverse) {
    RecordingStreamDelegate delegate;
    std::vector<std::string> log;
    std::vector<std::unique_ptr<CaptureSource>> sources;
    sources.push_back(std::make_unique<FakeSource>(log, "screen"));
    sources.push_back(std::make_unique<FakeSource>(log, "audio"));
    SourcedCaptureStream stream(delegate, {}, std::move(sources));
    stream.start();
    stream.stop();
    EXPECT_EQ(log, (std::vector<std::string>{"start screen", "start audio", "stop audio", "stop screen"}));
    EXPECT_EQ(delegate.samples().size(), 2u);
}

TEST(SourcedCaptureStream, ASourceThatCannotStartStopsTheOthersAndReportsWhy) {
    RecordingStreamDelegate delegate;
    std::vector<std::string> log;
    std::vector<std::unique_ptr<CaptureSource>> sources;
    sources.push_back(std::make_unique<FakeSource>(log, "screen"));
    sources.push_back(std::make_unique<FakeSource>(log, "microphone", true));
    SourcedCaptureStream stream(delegate, {}, std::move(sources));
    try {
        stream.start();
        FAIL() << "start should throw";
    } catch (const Error& error) {
        EXPECT_STREQ(error.what(), "microphone cannot start");
    }
    EXPECT_EQ(log, (std::vector<std::string>{"start screen", "stop microphone", "stop screen"}));
    const size_t delivered = delegate.samples().size();
    stream.stop();
    EXPECT_EQ(delegate.samples().size(), delivered);
}

}  // namespace
}  // namespace quillmer
