#pragma once

#include "platform/audio_track_reader.h"

namespace quillmer {

// Decodes recorded tracks (M4A/AAC, or anything FFmpeg reads) to 16 kHz mono 16-bit chunks.
class FFmpegAudioTrackReaderFactory final : public AudioTrackReaderFactory {
public:
    std::unique_ptr<AudioTrackReader> open(const std::filesystem::path& audioFile) override;
};

}  // namespace quillmer
