#pragma once

#include "platform/capture_service.h"

namespace quillmer::testing {

// A BGRA frame whose content moves with `index`, so every frame differs from the last.
VideoFrame makeTestFrame(int width, int height, int index, double presentationSeconds);

// `seconds` of a sine tone as interleaved float samples, starting at `presentationSeconds`.
AudioBuffer makeTestTone(int sampleRate, int channels, double seconds, double presentationSeconds,
                         double frequency = 440);

}  // namespace quillmer::testing
