#include "core/time_format.h"

#include <cmath>
#include <cstdio>

namespace quillmer {

std::string formatTimestamp(double seconds) {
    if (!std::isfinite(seconds) || seconds < 0) seconds = 0;
    // Round to hundredths before splitting, so 59.999 reads 01:00.00 rather than 00:60.00.
    const long long hundredths = std::llround(seconds * 100.0);
    const long long minutes = hundredths / 6000;
    const double remainder = static_cast<double>(hundredths % 6000) / 100.0;
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%02lld:%05.2f", minutes, remainder);
    return buffer;
}

}  // namespace quillmer
