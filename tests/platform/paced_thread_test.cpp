#include "platform/paced_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>
#include <vector>

namespace quillmer {
namespace {

// Steps 5 ms apart whose first stalls for 100 ms, until `steps` have run; their indices.
std::vector<uint64_t> runSteps(PacedThread::Lateness lateness, size_t steps) {
    std::vector<uint64_t> indices;
    std::promise<void> done;
    PacedThread thread;
    thread.start(0.005, lateness, [&](uint64_t index, double) {
        indices.push_back(index);
        if (indices.size() == 1) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (indices.size() < steps) return true;
        done.set_value();
        return false;
    });
    done.get_future().wait_for(std::chrono::seconds(20));
    thread.stop();
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
