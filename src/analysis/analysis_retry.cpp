#include "analysis/analysis_retry.h"

#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <string>

#include "core/error.h"
#include "platform/http_transport.h"

namespace quillmer {

void sleepUnlessStopped(std::chrono::milliseconds delay, std::stop_token stop) {
    std::mutex mutex;
    std::condition_variable_any wake;
    std::unique_lock lock(mutex);
    // Nothing notifies `wake`: the wait ends at the delay or at once on a stop request.
    wake.wait_for(lock, stop, delay, [] { return false; });
    if (stop.stop_requested()) throw CancellationError();
}

std::optional<double> parseDecimalSeconds(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return std::nullopt;
    const std::string trimmed(text.substr(first, text.find_last_not_of(" \t") - first + 1));
    // Plain decimal only: strtod would also read hexadecimal, "inf" and "nan".
    if (trimmed.find_first_not_of("0123456789.+-eE") != std::string::npos) return std::nullopt;
    char* end = nullptr;
    const double value = std::strtod(trimmed.c_str(), &end);
    if (end != trimmed.c_str() + trimmed.size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

std::chrono::milliseconds retryDelay(int attempt, std::optional<std::string_view> retryAfterHeader,
                                     std::chrono::milliseconds cap) {
    if (retryAfterHeader) {
        if (const auto seconds = parseDecimalSeconds(*retryAfterHeader); seconds && *seconds > 0) {
            const double capped = std::min(*seconds * 1000, static_cast<double>(cap.count()));
            return std::chrono::milliseconds(static_cast<long long>(std::llround(capped)));
        }
    }
    return std::chrono::milliseconds(500LL << std::clamp(attempt - 1, 0, 16));
}

bool isPassingNetworkFailure(const HttpTransportError& error) {
    return error.kind() == HttpTransportError::Kind::timedOut || error.kind() == HttpTransportError::Kind::unreachable;
}

}  // namespace quillmer
