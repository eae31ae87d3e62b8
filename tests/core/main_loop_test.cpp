#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "core/loop_main_queue.h"
#include "core/worker_threads.h"

namespace quillmer {
namespace {

TEST(LoopMainQueueTest, RunsTasksOnTheLoopThreadInPostingOrder) {
    LoopMainQueue queue;
    std::vector<int> order;
    std::vector<std::thread::id> threads;
    std::thread poster([&] {
        for (int i = 0; i < 100; ++i)
            queue.post([&, i] {
                order.push_back(i);
                threads.push_back(std::this_thread::get_id());
            });
    });
    queue.runUntil([&] { return order.size() == 100; });
    poster.join();
    for (int i = 0; i < 100; ++i) EXPECT_EQ(order[i], i);
    for (const auto& id : threads) EXPECT_EQ(id, std::this_thread::get_id());
}

TEST(LoopMainQueueTest, RunPendingAlsoRunsWhatTasksPostAndRunUntilSaysWhetherTheConditionWasMet) {
    LoopMainQueue queue;
    int ran = 0;
    queue.post([&] {
        ++ran;
        queue.post([&] { ++ran; });
    });
    EXPECT_EQ(queue.runPending(), 2u);
    EXPECT_EQ(ran, 2);
    EXPECT_EQ(queue.runPending(), 0u);

    bool done = false;
    EXPECT_FALSE(queue.runUntil([&] { return done; }, std::chrono::steady_clock::now()));
    queue.post([&] { done = true; });
    EXPECT_TRUE(queue.runUntil([&] { return done; }, std::chrono::steady_clock::time_point::max() - std::chrono::hours(1)));
}

// Each source cancels only its own work; destruction cancels the rest and waits for it.
TEST(WorkerThreadsTest, SourcesCancelTheirOwnWorkAndDestructionCancelsAndWaitsForTheRest) {
    std::atomic<int> stopped{0};
    const auto waitForStop = [&](std::stop_token stop) {
        std::mutex mutex;
        std::condition_variable_any never;
        std::unique_lock lock(mutex);
        never.wait(lock, stop, [] { return false; });
        if (stop.stop_requested()) ++stopped;
    };
    std::stop_source second;
    {
        WorkerThreads workers;
        auto first = workers.start(waitForStop);
        second = workers.start(waitForStop);
        first.request_stop();
        EXPECT_FALSE(second.stop_requested());
    }
    EXPECT_EQ(stopped, 2);
}

}  // namespace
}  // namespace quillmer
