#include "core/worker_threads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace quillmer {
namespace {

TEST(WorkerThreadsTest, DestructionCancelsAndWaitsForRunningWork) {
    std::atomic<bool> sawStop{false};
    std::atomic<bool> returned{false};
    {
        WorkerThreads workers;
        workers.start([&](std::stop_token stop) {
            std::mutex mutex;
            std::condition_variable_any never;
            std::unique_lock lock(mutex);
            never.wait(lock, stop, [] { return false; });
            sawStop = stop.stop_requested();
            returned = true;
        });
    }
    EXPECT_TRUE(returned);
    EXPECT_TRUE(sawStop);
}

TEST(WorkerThreadsTest, TheReturnedSourceCancelsOnlyItsOwnWork) {
    WorkerThreads workers;
    std::atomic<int> cancelled{0};
    auto wait = [&](std::stop_token stop) {
        std::mutex mutex;
        std::condition_variable_any never;
        std::unique_lock lock(mutex);
        never.wait(lock, stop, [] { return false; });
        ++cancelled;
    };
    auto first = workers.start(wait);
    auto second = workers.start(wait);
    first.request_stop();
    EXPECT_FALSE(second.stop_requested());
    workers.stopAndJoinAll();
    EXPECT_EQ(cancelled, 2);
}

}  // namespace
}  // namespace quillmer
