#pragma once

#include <memory>

#include "platform/capture_service.h"
#include "platform/media_writer.h"

namespace quillmer {

// The real screen-and-sound source and media writers of this build.
struct CaptureServices {
    std::unique_ptr<CaptureService> capture;
    std::unique_ptr<MediaWriterFactory> writers;
};

CaptureServices makeCaptureServices();

}  // namespace quillmer
