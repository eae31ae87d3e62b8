#include "platform/capture_sample_queue.h"

#include <pthread.h>

#include <algorithm>
#include <utility>

namespace quillmer {

CaptureSampleQueue::CaptureSampleQueue(CaptureStreamDelegate& delegate, CaptureSampleQueueLimits limits)
    : delegate_(delegate), limits_(limits) {}

CaptureSampleQueue::~CaptureSampleQueue() { stop(); }

void CaptureSampleQueue::start() {
    std::lock_guard lock(mutex_);
    if (state_ != State::idle) return;
    state_ = State::running;
    thread_ = std::thread([this] {
        // Thread names are limited to 15 characters; the tail of the label is the telling part.
        std::string label = kCaptureSampleQueueLabel;
        pthread_setname_np(pthread_self(), label.substr(label.size() - 15).c_str());
        deliverUntilStopped();
    });
}

bool CaptureSampleQueue::push(CaptureSample sample) {
    const size_t kind = kindIndex(sample.kind);
    const size_t limit = sample.kind == SampleKind::screen ? std::max<size_t>(1, limits_.screen)
                                                           : std::max<size_t>(1, limits_.audio);
    {
        std::lock_guard lock(mutex_);
        if (state_ != State::running || failed_ || pendingByKind_[kind] >= limit) {
            ++dropped_;
            return false;
        }
        pending_.push_back(std::move(sample));
        ++pendingByKind_[kind];
    }
    wake_.notify_one();
    return true;
}

void CaptureSampleQueue::reportFailure(const std::string& description) {
    {
        std::lock_guard lock(mutex_);
        if (state_ != State::running || failed_) return;
        failed_ = true;
        failure_ = description;
    }
    wake_.notify_one();
}

void CaptureSampleQueue::stop() {
    std::thread delivery;
    {
        std::lock_guard lock(mutex_);
        if (state_ == State::idle) {
            state_ = State::stopped;
            return;
        }
        if (state_ == State::running) state_ = State::stopping;
        if (thread_.get_id() == std::this_thread::get_id()) {
            // Inside a delegate callback: the thread cannot wait for itself. Nothing queued is
            // delivered any more; a later stop() or the destructor joins the thread.
            pending_.clear();
            pendingByKind_ = {};
            return;
        }
        delivery = std::move(thread_);
    }
    wake_.notify_one();
    if (delivery.joinable()) delivery.join();
    std::lock_guard lock(mutex_);
    state_ = State::stopped;
    pending_.clear();
    pendingByKind_ = {};
}

uint64_t CaptureSampleQueue::droppedSampleCount() const {
    std::lock_guard lock(mutex_);
    return dropped_;
}

void CaptureSampleQueue::deliverUntilStopped() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return !pending_.empty() || failure_ || state_ != State::running; });
        if (!pending_.empty()) {
            CaptureSample sample = std::move(pending_.front());
            pending_.pop_front();
            --pendingByKind_[kindIndex(sample.kind)];
            lock.unlock();
            delegate_.streamDidOutputSample(sample);
            lock.lock();
            continue;
        }
        if (failure_ && state_ == State::running) {
            std::string description = std::move(*failure_);
            failure_.reset();
            lock.unlock();
            delegate_.streamDidStopWithError(description);
            lock.lock();
            continue;
        }
        if (state_ != State::running) return;
    }
}

}  // namespace quillmer
