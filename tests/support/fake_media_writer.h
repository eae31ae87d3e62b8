#pragma once

#include <atomic>
#include <filesystem>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/media_writer.h"

namespace quillmer::testing {

// Writers that count what they accept and leave a small placeholder file when finished.
// `ready` false makes every writer report "not ready", so appends are dropped as under load.
class FakeMediaWriterFactory final : public MediaWriterFactory {
public:
    std::atomic<bool> ready{true};
    std::atomic<bool> videoWriterFails{false};  // makeVideoWriter returns nullptr

    std::unique_ptr<VideoFileWriter> makeVideoWriter(const std::filesystem::path& file,
                                                     const VideoWriterSettings& settings) override;
    std::unique_ptr<AudioFileWriter> makeAudioWriter(const std::filesystem::path& file,
                                                     const AudioWriterSettings& settings) override;

    // Files made by writers that were finished.
    std::vector<std::filesystem::path> finishedFiles() const;

private:
    template <typename Sample>
    friend class FakeFileWriter;
    void recordFinished(const std::filesystem::path& file);

    mutable std::mutex mutex_;
    std::vector<std::filesystem::path> finished_;
};

}  // namespace quillmer::testing
