#pragma once

#include <atomic>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/media_writer.h"

namespace quillmer::testing {

// What one fake writer was asked to do; the test flips `ready` and `startSucceeds`.
struct FakeWriterLog {
    bool ready = true;
    bool startSucceeds = true;
    std::optional<double> sessionStart;
    std::vector<double> appendedTimes;
    bool markedFinished = false;
    bool finishedWriting = false;
};

// Writers that keep samples' times instead of encoding them, and leave a small placeholder file
// when finished. Logs outlive the writers. `ready` false makes every writer report "not ready",
// as an encoder under load does; it may be flipped from any thread.
class FakeMediaWriterFactory final : public MediaWriterFactory {
public:
    std::atomic<bool> ready{true};

    std::unique_ptr<VideoFileWriter> makeVideoWriter(const std::filesystem::path& file,
                                                     const VideoWriterSettings& settings) override;
    std::unique_ptr<AudioFileWriter> makeAudioWriter(const std::filesystem::path& file,
                                                     const AudioWriterSettings& settings) override;

    // Log of the writer made for `file` (its bare name), or nullptr when none was made.
    FakeWriterLog* log(const std::string& fileName);

    bool videoWriterFails = false;
    int audioWriterFailuresLeft = 0;
    bool audioWritersStartBusy = false;  // new audio writers start not ready
    std::optional<VideoWriterSettings> videoSettings;
    std::map<std::string, AudioWriterSettings> audioSettings;
    std::vector<std::string> madeFiles;  // bare names, in order

    std::vector<std::filesystem::path> finishedFiles() const;  // whose writers were finished, in order

private:
    template <typename Sample>
    friend class FakeWriter;
    void recordFinished(const std::filesystem::path& file);
    std::shared_ptr<FakeWriterLog> newLog(const std::filesystem::path& file, bool ready);  // under mutex_

    mutable std::mutex mutex_;
    std::map<std::string, std::shared_ptr<FakeWriterLog>> logs_;
    std::vector<std::filesystem::path> finished_;
};

}  // namespace quillmer::testing
