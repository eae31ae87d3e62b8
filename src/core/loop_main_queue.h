#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

#include "core/main_queue.h"

namespace quillmer {

// A plain main loop for the CLI and tests: the thread that calls run…() is the main thread.
class LoopMainQueue final : public MainQueue {
public:
    void post(std::function<void()> task) override;

    // Runs the tasks queued now, and those they post, until the queue is empty. Returns how many ran.
    size_t runPending();

    // Runs tasks as they arrive until `done()` is true (checked before and after each task).
    void runUntil(const std::function<bool()>& done);

    // Like runUntil, but also returns when `deadline` passes; true when `done()` became true.
    bool runUntil(const std::function<bool()>& done, std::chrono::steady_clock::time_point deadline);

private:
    std::function<void()> takeNext();

    std::mutex mutex_;
    std::condition_variable posted_;
    std::deque<std::function<void()>> tasks_;
};

}  // namespace quillmer
