#pragma once

#include <atomic>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <stop_token>
#include <thread>

namespace quillmer {

// Runs each piece of heavy work on its own thread with a stop token. Destruction asks every
// running piece to stop and waits for it, so work never outlives its owner.
class WorkerThreads {
public:
    WorkerThreads() = default;
    ~WorkerThreads();
    WorkerThreads(const WorkerThreads&) = delete;
    WorkerThreads& operator=(const WorkerThreads&) = delete;

    // Returns the source that cancels this piece of work.
    std::stop_source start(std::function<void(std::stop_token)> work);

    // Asks every running piece to stop and waits for all of them.
    void stopAndJoinAll();

private:
    struct Worker {
        std::shared_ptr<std::atomic<bool>> finished;
        std::jthread thread;
    };
    void joinFinished();

    std::mutex mutex_;
    std::list<Worker> workers_;
};

}  // namespace quillmer
