#include "capture/latest_manifest_writer.h"

#include <exception>

namespace quillmer {

LatestManifestWriter::LatestManifestWriter(std::filesystem::path sessionFolder, ManifestWriter write)
    : folder_(std::move(sessionFolder)), write_(std::move(write)),
      thread_([this](std::stop_token stop) { run(stop); }) {}

LatestManifestWriter::~LatestManifestWriter() {
    drain();
    thread_.request_stop();
    thread_.join();
}

void LatestManifestWriter::submit(LocalSessionManifest snapshot) {
    {
        std::lock_guard lock(mutex_);
        pending_ = std::move(snapshot);
    }
    changed_.notify_all();
}

void LatestManifestWriter::drain() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !pending_ && !writing_; });
}

void LatestManifestWriter::run(std::stop_token stop) {
    std::unique_lock lock(mutex_);
    while (changed_.wait(lock, stop, [this] { return pending_.has_value(); })) {
        LocalSessionManifest snapshot = std::move(*pending_);
        pending_.reset();
        writing_ = true;
        lock.unlock();
        try {
            write_(folder_, snapshot);
        } catch (const std::exception&) {
            // The final manifest is written again at finish, which reports a failure.
        }
        lock.lock();
        writing_ = false;
        changed_.notify_all();
    }
}

}  // namespace quillmer
