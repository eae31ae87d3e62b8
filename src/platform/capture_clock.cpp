#include "platform/capture_clock.h"

#include <chrono>

namespace quillmer {

double captureClockSeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace quillmer
