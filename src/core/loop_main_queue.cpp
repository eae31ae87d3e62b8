#include "core/loop_main_queue.h"

namespace quillmer {

void LoopMainQueue::post(std::function<void()> task) {
    {
        std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
    }
    posted_.notify_one();
}

// Caller holds the lock and has checked that a task is queued.
std::function<void()> LoopMainQueue::takeNext() {
    auto task = std::move(tasks_.front());
    tasks_.pop_front();
    return task;
}

size_t LoopMainQueue::runPending() {
    size_t ran = 0;
    for (;;) {
        std::function<void()> task;
        {
            std::unique_lock lock(mutex_);
            if (tasks_.empty()) return ran;
            task = takeNext();
        }
        task();  // outside the lock: tasks post more tasks
        ++ran;
    }
}

void LoopMainQueue::runUntil(const std::function<bool()>& done) {
    runUntil(done, std::chrono::steady_clock::time_point::max());
}

bool LoopMainQueue::runUntil(const std::function<bool()>& done, std::chrono::steady_clock::time_point deadline) {
    while (!done()) {
        std::function<void()> task;
        {
            std::unique_lock lock(mutex_);
            if (deadline == std::chrono::steady_clock::time_point::max()) {
                posted_.wait(lock, [this] { return !tasks_.empty(); });
            } else if (!posted_.wait_until(lock, deadline, [this] { return !tasks_.empty(); })) {
                return false;
            }
            task = takeNext();
        }
        task();
    }
    return true;
}

}  // namespace quillmer
