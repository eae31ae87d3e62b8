#pragma once

#include <condition_variable>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

#include "capture/local_session_manifest.h"

namespace quillmer {

// How a manifest reaches the disk; writeManifest unless a test slows it down.
using ManifestWriter = std::function<void(const std::filesystem::path& sessionFolder, const LocalSessionManifest&)>;

// Writes manifests of one session on its own thread, the latest one only: a snapshot handed over
// while an older one waits replaces it. submit() never waits for the disk, so the sample queue
// can hand over a snapshot under the recorder lock even when an fsync takes seconds.
//
// Threading: submit() and drain() may be called from any thread; destruction drains first.
class LatestManifestWriter {
public:
    LatestManifestWriter(std::filesystem::path sessionFolder, ManifestWriter write);
    ~LatestManifestWriter();
    LatestManifestWriter(const LatestManifestWriter&) = delete;
    LatestManifestWriter& operator=(const LatestManifestWriter&) = delete;

    void submit(LocalSessionManifest snapshot);
    // Returns once every snapshot submitted so far has been written (or failed to be).
    void drain();

private:
    void run(std::stop_token stop);

    std::filesystem::path folder_;
    ManifestWriter write_;
    std::mutex mutex_;
    std::condition_variable_any changed_;
    std::optional<LocalSessionManifest> pending_;
    bool writing_ = false;
    std::jthread thread_;  // last: starts once everything above exists
};

}  // namespace quillmer
