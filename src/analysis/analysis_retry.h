#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <stop_token>
#include <string_view>

namespace quillmer {

class HttpTransportError;

// Both analysis routes make at most this many attempts per request.
inline constexpr int kMaxAnalysisAttempts = 3;

// Waits between attempts. Tests pass one that records instead of sleeping.
using RetrySleep = std::function<void(std::chrono::milliseconds, std::stop_token)>;

// Sleeps on the steady clock and wakes at once on a stop request (then throws CancellationError).
void sleepUnlessStopped(std::chrono::milliseconds delay, std::stop_token stop);

// A "Retry-After" of more than 0 seconds (capped, to the millisecond), else 500 ms × 2^(attempt − 1).
std::chrono::milliseconds retryDelay(int attempt, std::optional<std::string_view> retryAfterHeader,
                                     std::chrono::milliseconds cap = std::chrono::seconds(60));

// A decimal number of seconds, or nothing for anything else (empty, trailing text, not finite).
std::optional<double> parseDecimalSeconds(std::string_view text);

// Time-outs and unreachable or lost connections may pass; other transport failures would repeat.
bool isPassingNetworkFailure(const HttpTransportError& error);

}  // namespace quillmer
