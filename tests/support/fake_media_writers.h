#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "platform/media_writer.h"

namespace quillmer::testing {

// What one fake writer was asked to do; the test flips `ready` and `startSucceeds`.
struct FakeWriterLog {
    bool ready = true;
    bool startSucceeds = true;
    bool started = false;
    std::optional<double> sessionStart;
    std::vector<double> appendedTimes;
    bool markedFinished = false;
    bool finishedWriting = false;
};

// Writers that keep samples' times instead of encoding them. Logs outlive the writers.
class FakeMediaWriterFactory final : public MediaWriterFactory {
public:
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

private:
    std::map<std::string, std::shared_ptr<FakeWriterLog>> logs_;
};

}  // namespace quillmer::testing
