#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/media_writer.h"

namespace quillmer {

// The encoding half of a media file writer. All three calls run on the writer's one worker
// thread, in order: open once, encode per sample, close once (also after a failed encode).
template <typename Sample>
class SampleEncoder {
public:
    virtual ~SampleEncoder() = default;
    // Creates the file and writes what a player needs first. False: nothing can be written.
    virtual bool open() = 0;
    // `sessionStartSeconds` is the source time that becomes time zero in the file.
    virtual bool encode(const Sample& sample, double sessionStartSeconds) = 0;
    // Flushes the encoder and completes the file.
    virtual void close() = 0;
};

// A real-time writer: appends only queue the sample; one worker thread encodes. The queue is
// small and bounded, and a full queue makes the writer "not ready", so a caller on a capture
// queue drops the sample instead of blocking or growing memory.
template <typename Sample>
class QueuedMediaFileWriter final : public MediaFileWriter<Sample> {
public:
    QueuedMediaFileWriter(std::unique_ptr<SampleEncoder<Sample>> encoder, size_t capacity)
        : encoder_(std::move(encoder)), capacity_(capacity > 0 ? capacity : 1) {}

    // A writer dropped without finishing still completes its file.
    ~QueuedMediaFileWriter() override { finishWriting(); }

    bool startWriting() override {
        std::unique_lock lock(mutex_);
        if (state_ != State::idle) return state_ == State::writing;
        state_ = State::opening;
        worker_ = std::thread([this] { run(); });
        changed_.wait(lock, [this] { return state_ != State::opening; });
        return state_ == State::writing;
    }

    void startSession(double sourceSeconds) override {
        std::lock_guard lock(mutex_);
        sessionStartSeconds_ = sourceSeconds;
    }

    bool isReadyForMoreMediaData() const override {
        std::lock_guard lock(mutex_);
        return state_ == State::writing && !inputFinished_ && queue_.size() < capacity_;
    }

    bool append(const Sample& sample) override {
        {
            std::lock_guard lock(mutex_);
            if (state_ != State::writing || inputFinished_ || queue_.size() >= capacity_) return false;
            queue_.push_back(sample);
        }
        changed_.notify_all();
        return true;
    }

    void markAsFinished() override {
        {
            std::lock_guard lock(mutex_);
            inputFinished_ = true;
        }
        changed_.notify_all();
    }

    void finishWriting() override {
        markAsFinished();
        if (worker_.joinable()) worker_.join();
    }

private:
    enum class State { idle, opening, writing, failed, finished };

    void run() {
        const bool opened = encoder_->open();
        {
            std::lock_guard lock(mutex_);
            state_ = opened ? State::writing : State::failed;
        }
        changed_.notify_all();
        if (!opened) return;

        for (;;) {
            Sample sample;
            double start = 0;
            {
                std::unique_lock lock(mutex_);
                changed_.wait(lock, [this] { return !queue_.empty() || inputFinished_; });
                if (queue_.empty()) break;
                sample = std::move(queue_.front());
                start = sessionStartSeconds_;
            }
            // Popped only after encoding, so "ready" means the encoder has caught up.
            const bool encoded = encoder_->encode(sample, start);
            std::lock_guard lock(mutex_);
            queue_.pop_front();
            if (!encoded) {
                // Like a failed platform writer: later appends are refused, the file keeps what it has.
                state_ = State::failed;
                queue_.clear();
                break;
            }
        }
        encoder_->close();
        std::lock_guard lock(mutex_);
        if (state_ == State::writing) state_ = State::finished;
    }

    std::unique_ptr<SampleEncoder<Sample>> encoder_;
    const size_t capacity_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Sample> queue_;
    State state_ = State::idle;
    bool inputFinished_ = false;
    double sessionStartSeconds_ = 0;
    std::thread worker_;
};

}  // namespace quillmer
