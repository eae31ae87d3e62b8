#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

#include "core/error.h"
#include "platform/audio_clock_stamper.h"
#include "platform/capture_sample_queue.h"
#include "platform/sourced_capture_stream.h"
#include "support/recording_stream_delegate.h"

namespace quillmer {
namespace {

using testing::RecordingStreamDelegate;

CaptureSample sampleAt(SampleKind kind, double seconds) {
    CaptureSample sample;
    sample.kind = kind;
    if (kind == SampleKind::screen) sample.video.presentationSeconds = seconds;
    else sample.audio = {seconds, 48'000, 1, {0.5f}};
    return sample;
}

std::vector<double> timesOf(const std::vector<testing::ReceivedSample>& samples) {
    std::vector<double> times;
    for (const auto& sample : samples) times.push_back(sample.presentationSeconds);
    return times;
}

// Holds the delegate inside its first delivery until released.
struct Gate {
    explicit Gate(RecordingStreamDelegate& delegate) {
        delegate.onSample = [this](const CaptureSample&) {
            if (!first.exchange(false)) return;
            entered.set_value();
            released.wait();
        };
    }
    std::atomic<bool> first{true};
    std::promise<void> entered, release;
    std::shared_future<void> released = release.get_future().share();
};

TEST(CaptureSampleQueue, SamplesFromManyThreadsArriveOneAtATimeInEachThreadsOrder) {
    RecordingStreamDelegate delegate;
    delegate.onSample = [](const CaptureSample&) { std::this_thread::sleep_for(std::chrono::microseconds(100)); };
    CaptureSampleQueue queue(delegate, {1000, 1000});
    queue.start();
    std::vector<std::thread> producers;
    for (int producer = 0; producer < 3; ++producer) {
        producers.emplace_back([&queue, producer] {
            for (int i = 0; i < 50; ++i) EXPECT_TRUE(queue.push(sampleAt(static_cast<SampleKind>(producer), i)));
        });
    }
    for (auto& producer : producers) producer.join();
    queue.stop();  // what was queued before stop is still delivered
    EXPECT_FALSE(delegate.sawOverlappingDeliveries());
    std::vector<double> expected(50);
    for (int i = 0; i < 50; ++i) expected[i] = i;
    for (auto kind : {SampleKind::screen, SampleKind::systemAudio, SampleKind::microphone})
        EXPECT_EQ(timesOf(delegate.samplesOf(kind)), expected);
}

TEST(CaptureSampleQueue, AFullQueueDropsNewSamplesWhileTheDelegateIsBusy) {
    RecordingStreamDelegate delegate;
    Gate gate(delegate);
    CaptureSampleQueue queue(delegate, {2, 3});
    queue.start();
    ASSERT_TRUE(queue.push(sampleAt(SampleKind::screen, 0)));
    gate.entered.get_future().wait();

    // The delegate is stuck; these pushes must still come back, and only the limit fits.
    std::vector<bool> screenAccepted, audioAccepted;
    for (int i = 1; i <= 5; ++i) screenAccepted.push_back(queue.push(sampleAt(SampleKind::screen, i)));
    for (int i = 1; i <= 5; ++i) audioAccepted.push_back(queue.push(sampleAt(SampleKind::systemAudio, i)));
    EXPECT_EQ(screenAccepted, (std::vector<bool>{true, true, false, false, false}));
    EXPECT_EQ(audioAccepted, (std::vector<bool>{true, true, true, false, false}));
    EXPECT_TRUE(queue.push(sampleAt(SampleKind::microphone, 1))) << "each kind has its own bound";
    EXPECT_EQ(queue.droppedSampleCount(), 5u);

    gate.release.set_value();
    queue.stop();
    EXPECT_EQ(timesOf(delegate.samplesOf(SampleKind::screen)), (std::vector<double>{0, 1, 2}));
    EXPECT_EQ(timesOf(delegate.samplesOf(SampleKind::systemAudio)), (std::vector<double>{1, 2, 3}));
}

TEST(CaptureSampleQueue, AFailureArrivesOnceAfterTheSamplesQueuedBeforeItAndNothingAfter) {
    RecordingStreamDelegate delegate;
    Gate gate(delegate);
    CaptureSampleQueue queue(delegate, {5, 5});
    EXPECT_FALSE(queue.push(sampleAt(SampleKind::screen, -1))) << "nothing is taken before start";
    queue.start();
    queue.push(sampleAt(SampleKind::screen, 0));
    gate.entered.get_future().wait();
    queue.push(sampleAt(SampleKind::screen, 1));
    queue.reportFailure("The display went away.");
    queue.reportFailure("A second source failed too.");
    EXPECT_FALSE(queue.push(sampleAt(SampleKind::screen, 2))) << "a failed stream takes no more samples";
    size_t samplesBeforeError = 0;
    delegate.onError = [&] { samplesBeforeError = delegate.samples().size(); };
    gate.release.set_value();

    ASSERT_TRUE(delegate.waitForError());
    queue.stop();
    queue.reportFailure("too late");  // ignored once stopped
    EXPECT_EQ(delegate.errors(), std::vector<std::string>{"The display went away."});
    EXPECT_EQ(samplesBeforeError, 2u);
    EXPECT_EQ(delegate.samples().size(), 2u);
}

TEST(CaptureSampleQueue, StopCalledFromInsideADeliveryEndsDeliveryWithoutDeadlock) {
    RecordingStreamDelegate delegate;
    CaptureSampleQueue queue(delegate, {10, 10});
    delegate.onSample = [&](const CaptureSample&) { queue.stop(); };
    queue.start();
    for (int i = 0; i < 5; ++i) queue.push(sampleAt(SampleKind::screen, i));
    ASSERT_TRUE(delegate.waitForCount(SampleKind::screen, 1));
    queue.stop();
    EXPECT_EQ(delegate.samples().size(), 1u);
}

// A source that logs what the stream asks of it and pushes one sample when started.
struct LoggingSource : CaptureSource {
    LoggingSource(std::vector<std::string>& log, std::string name, bool fails) : log(log), name(std::move(name)), fails(fails) {}
    void start(CaptureSampleQueue& queue) override {
        if (fails) throw Error(name + " cannot start");
        log.push_back("start " + name);
        queue.push(sampleAt(SampleKind::screen, 0));
    }
    void stop() override { log.push_back("stop " + name); }
    std::vector<std::string>& log;
    std::string name;
    bool fails;
};

TEST(SourcedCaptureStream, StartsSourcesInOrderStopsThemInReverseAndUndoesAFailedStart) {
    using Log = std::vector<std::string>;
    for (const bool microphoneFails : {false, true}) {
        RecordingStreamDelegate delegate;
        Log log;
        std::vector<std::unique_ptr<CaptureSource>> sources;
        sources.push_back(std::make_unique<LoggingSource>(log, "screen", false));
        sources.push_back(std::make_unique<LoggingSource>(log, "microphone", microphoneFails));
        SourcedCaptureStream stream(delegate, {}, std::move(sources));
        try {
            stream.start();
            stream.stop();
            EXPECT_FALSE(microphoneFails) << "start should throw";
        } catch (const Error& error) {
            EXPECT_STREQ(error.what(), "microphone cannot start");
        }
        EXPECT_EQ(log, (microphoneFails ? Log{"start screen", "stop microphone", "stop screen"}
                                        : Log{"start screen", "start microphone", "stop microphone", "stop screen"}));
        stream.stop();
        EXPECT_EQ(delegate.samples().size(), microphoneFails ? 1u : 2u) << "after a failed start nothing more is delivered";
    }
}

TEST(AudioClockStamper, StampsBuffersSeamlesslyAndMovesOnOnlyForLostAudio) {
    constexpr int64_t kTwentyMilliseconds = 960;  // frames at 48 kHz
    // Name, the clock's estimates for successive buffers, frames lost before the last, the stamps.
    for (const auto& [name, estimates, skipped, expected] :
         std::vector<std::tuple<const char*, std::vector<double>, int64_t, std::vector<double>>>{
             {"jittery estimates", {10.0, 10.024, 10.037, 10.066, 10.075, 10.101}, 0, {10.0, 10.02, 10.04, 10.06, 10.08, 10.1}},
             {"audio was lost", {10.0, 10.5, 10.52}, 0, {10.0, 10.5, 10.52}},
             {"an estimate from the past", {10.0, 9.8}, 0, {10.0, 10.02}},
             {"a hole", {10.0, 10.02}, 480, {10.0, 10.03}},
         }) {
        AudioClockStamper stamper(48'000);
        for (size_t i = 0; i < estimates.size(); ++i) {
            if (i + 1 == estimates.size() && skipped) stamper.skip(skipped);
            EXPECT_NEAR(stamper.stamp(estimates[i], kTwentyMilliseconds), expected[i], 1e-9) << name << " " << i;
        }
    }
}

}  // namespace
}  // namespace quillmer
