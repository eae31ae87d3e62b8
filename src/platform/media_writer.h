#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>

#include "platform/capture_service.h"

namespace quillmer {

struct VideoWriterSettings {
    int width = 0;
    int height = 0;
    int64_t averageBitRate = 10'000'000;
};

struct AudioWriterSettings {
    int sampleRate = 48'000;
    int channels = 2;
    int64_t bitRate = 192'000;
    // The first sample's format, as a hint for converting what arrives.
    int sourceSampleRate = 48'000;
    int sourceChannels = 2;
};

// A media file written in real time, shaped like a platform asset writer: start writing, start
// the session at the first sample's source time, append while ready, mark finished, finish.
// Appends never block: a writer whose encoder is busy reports not ready, and the caller drops.
template <typename Sample>
class MediaFileWriter {
public:
    virtual ~MediaFileWriter() = default;
    virtual bool startWriting() = 0;
    virtual void startSession(double sourceSeconds) = 0;
    virtual bool isReadyForMoreMediaData() const = 0;
    virtual bool append(const Sample& sample) = 0;
    virtual void markAsFinished() = 0;
    // Blocks until everything appended is encoded and the file is complete.
    virtual void finishWriting() = 0;
};

using VideoFileWriter = MediaFileWriter<VideoFrame>;
using AudioFileWriter = MediaFileWriter<AudioBuffer>;

class MediaWriterFactory {
public:
    virtual ~MediaWriterFactory() = default;
    // nullptr when the writer or its input cannot be created.
    virtual std::unique_ptr<VideoFileWriter> makeVideoWriter(const std::filesystem::path& file,
                                                             const VideoWriterSettings& settings) = 0;
    virtual std::unique_ptr<AudioFileWriter> makeAudioWriter(const std::filesystem::path& file,
                                                             const AudioWriterSettings& settings) = 0;
};

}  // namespace quillmer
