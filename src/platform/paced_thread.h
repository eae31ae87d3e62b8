#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace quillmer {

// A thread that runs a step at a steady rate on the capture clock until the step declines or the
// thread is stopped. Steps that fall behind are either skipped (screens: a late frame is useless)
// or run back to back until caught up (generated audio: nothing may be left out).
class PacedThread {
public:
    enum class Lateness { skipMissed, catchUp };
    // Receives the step's index and the capture-clock time it was due; returns false to end.
    using Step = std::function<bool(uint64_t index, double dueSeconds)>;

    PacedThread() = default;
    ~PacedThread();
    PacedThread(const PacedThread&) = delete;
    PacedThread& operator=(const PacedThread&) = delete;

    void start(double periodSeconds, Lateness lateness, Step step);
    // Wakes a waiting thread and joins it; a step in progress finishes first.
    void stop();

private:
    void run(double periodSeconds, Lateness lateness, const Step& step);

    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopRequested_ = false;
    std::thread thread_;
};

}  // namespace quillmer
