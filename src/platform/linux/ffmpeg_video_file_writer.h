#pragma once

#include <filesystem>
#include <memory>

#include "platform/media_writer.h"

namespace quillmer {

// "screen.mp4": H.264 (libx264, ultrafast, zero latency) in fragmented MPEG-4. Frame times are
// the source times minus the session start in 1/90000 s, so an uneven frame rate is kept as it
// was captured. BGRA is converted to 4:2:0, which needs even sizes: an odd width or height
// loses its last column or row. nullptr when the encoder cannot be set up for these settings.
std::unique_ptr<VideoFileWriter> makeFfmpegVideoFileWriter(const std::filesystem::path& file,
                                                           const VideoWriterSettings& settings);

}  // namespace quillmer
