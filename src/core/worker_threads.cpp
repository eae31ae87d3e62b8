#include "core/worker_threads.h"

namespace quillmer {

WorkerThreads::~WorkerThreads() { stopAndJoinAll(); }

std::stop_source WorkerThreads::start(std::function<void(std::stop_token)> work) {
    std::lock_guard lock(mutex_);
    joinFinished();
    auto finished = std::make_shared<std::atomic<bool>>(false);
    auto& worker = workers_.emplace_back(Worker{finished, std::jthread([finished, work = std::move(work)](std::stop_token stop) {
                                                    work(stop);
                                                    finished->store(true);
                                                })});
    return worker.thread.get_stop_source();
}

void WorkerThreads::stopAndJoinAll() {
    std::list<Worker> running;
    {
        std::lock_guard lock(mutex_);
        running.swap(workers_);
    }
    for (auto& worker : running) worker.thread.request_stop();
    running.clear();  // jthread joins
}

// Keeps the list short: threads whose work has returned are joined (briefly) and dropped.
void WorkerThreads::joinFinished() {
    workers_.remove_if([](const Worker& worker) { return worker.finished->load(); });
}

}  // namespace quillmer
