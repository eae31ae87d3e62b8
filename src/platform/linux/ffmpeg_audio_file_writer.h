#pragma once

#include <filesystem>
#include <memory>

#include "platform/media_writer.h"

namespace quillmer {

// An audio track as AAC (FFmpeg's own encoder) in fragmented MPEG-4; ".m4a" makes it Apple M4A.
// Whatever rate and channel layout arrives is resampled and remixed to the settings. The first
// buffer written is time zero and each later one is placed at its source time: a gap in the
// source becomes silence and audio that overlaps what was already written is trimmed, so the
// track stays aligned with the video.
// nullptr when the encoder cannot be set up for these settings.
std::unique_ptr<AudioFileWriter> makeFfmpegAudioFileWriter(const std::filesystem::path& file,
                                                           const AudioWriterSettings& settings);

}  // namespace quillmer
