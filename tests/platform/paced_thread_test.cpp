#include "platform/paced_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace quillmer {
namespace {

std::vector<uint64_t> runSteps(PacedThread::Lateness lateness, int steps) {
    std::mutex mutex;
    std::condition_variable finished;
    std::vector<uint64_t> indices;
    PacedThread thread;
    thread.start(0.005, lateness, [&](uint64_t index, double) {
        std::lock_guard lock(mutex);
        indices.push_back(index);
        // The first step stalls for many periods.
        if (indices.size() == 1) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        finished.notify_all();
        return static_cast<int>(indices.size()) < steps;
    });
    std::unique_lock lock(mutex);
    finished.wait_for(lock, std::chrono::seconds(20), [&] { return static_cast<int>(indices.size()) >= steps; });
    lock.unlock();
    thread.stop();
    lock.lock();
    return indices;
}

TEST(PacedThread, AfterAStallCatchingUpRunsEveryStepAndSkippingLeavesOutTheMissedOnes) {
    EXPECT_EQ(runSteps(PacedThread::Lateness::catchUp, 6), (std::vector<uint64_t>{0, 1, 2, 3, 4, 5}));
    const auto skipped = runSteps(PacedThread::Lateness::skipMissed, 3);
    ASSERT_EQ(skipped.size(), 3u);
    EXPECT_EQ(skipped[0], 0u);
    EXPECT_GT(skipped[1], 10u) << "a 100 ms stall at 5 ms steps misses about twenty";
    EXPECT_GT(skipped[2], skipped[1]);
}

TEST(PacedThread, StopEndsAWaitingThread) {
    PacedThread thread;
    std::atomic<int> steps{0};
    thread.start(3600, PacedThread::Lateness::skipMissed, [&](uint64_t, double) {
        ++steps;
        return true;
    });
    for (int wait = 0; wait < 500 && steps == 0; ++wait) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    thread.stop();
    EXPECT_EQ(steps, 1) << "the first step is due at once, the next in an hour";
}

}  // namespace
}  // namespace quillmer
