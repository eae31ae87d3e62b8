#pragma once

#include "platform/media_writer.h"

namespace quillmer {

// Screen and audio files through FFmpeg: H.264 in MPEG-4 and AAC in M4A, both fragmented so a
// crash loses at most the last second or two.
class FfmpegMediaWriterFactory final : public MediaWriterFactory {
public:
    FfmpegMediaWriterFactory();
    std::unique_ptr<VideoFileWriter> makeVideoWriter(const std::filesystem::path& file,
                                                     const VideoWriterSettings& settings) override;
    std::unique_ptr<AudioFileWriter> makeAudioWriter(const std::filesystem::path& file,
                                                     const AudioWriterSettings& settings) override;
};

}  // namespace quillmer
