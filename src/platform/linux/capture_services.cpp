#include "platform/linux/capture_services.h"

#include "platform/linux/ffmpeg_media_writer_factory.h"
#include "platform/linux/linux_capture_service.h"

namespace quillmer {

// The one place the applications construct the real X11/PulseAudio source and the FFmpeg writers.
CaptureServices makeCaptureServices() {
    return {std::make_unique<LinuxCaptureService>(), std::make_unique<FfmpegMediaWriterFactory>()};
}

}  // namespace quillmer
