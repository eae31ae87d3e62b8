#pragma once

namespace quillmer {

// The one source clock every track of a capture is stamped on: CLOCK_MONOTONIC in seconds
// (libstdc++'s steady_clock reads CLOCK_MONOTONIC, so deadlines on steady_clock agree with it).
double captureClockSeconds();

}  // namespace quillmer
