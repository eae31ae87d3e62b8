#include "cli/services.h"

#include "platform/linux/ffmpeg_media_writer_factory.h"
#include "platform/linux/linux_capture_service.h"

namespace quillmer::cli {

// The one place the CLI constructs the real X11/PulseAudio source and the FFmpeg writers.
CaptureServices makeCaptureServices() {
    return {std::make_unique<LinuxCaptureService>(), std::make_unique<FfmpegMediaWriterFactory>()};
}

}  // namespace quillmer::cli
