#include "core/worker_threads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace quillmer {
namespace {

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
