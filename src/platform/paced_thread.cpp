#include "platform/paced_thread.h"

#include <chrono>
#include <cmath>

#include "platform/capture_clock.h"

namespace quillmer {

PacedThread::~PacedThread() { stop(); }

void PacedThread::start(double periodSeconds, Lateness lateness, Step step) {
    stop();
    {
        std::lock_guard lock(mutex_);
        stopRequested_ = false;
    }
    thread_ = std::thread([this, periodSeconds, lateness, step = std::move(step)] { run(periodSeconds, lateness, step); });
}

void PacedThread::stop() {
    {
        std::lock_guard lock(mutex_);
        stopRequested_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void PacedThread::run(double periodSeconds, Lateness lateness, const Step& step) {
    const double period = periodSeconds > 0 ? periodSeconds : 0.001;
    const double origin = captureClockSeconds();
    uint64_t index = 0;
    for (;;) {
        const double due = origin + static_cast<double>(index) * period;
        {
            std::unique_lock lock(mutex_);
            const auto deadline = std::chrono::steady_clock::time_point(
                std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(due)));
            wake_.wait_until(lock, deadline, [this] { return stopRequested_; });
            if (stopRequested_) return;
        }
        if (!step(index, due)) return;
        ++index;
        if (lateness == Lateness::skipMissed) {
            // Resume at the next slot still ahead of now.
            const double behind = captureClockSeconds() - (origin + static_cast<double>(index) * period);
            if (behind > 0) index += static_cast<uint64_t>(std::ceil(behind / period));
        }
    }
}

}  // namespace quillmer
