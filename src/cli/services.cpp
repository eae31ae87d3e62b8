#include "cli/services.h"

#include "core/error.h"

namespace quillmer::cli {

// The X11/PulseAudio source and the FFmpeg writers are not part of this build yet; this is the
// one place that will construct them.
CaptureServices makeCaptureServices() { throw Error("screen capture is not available in this build"); }

}  // namespace quillmer::cli
