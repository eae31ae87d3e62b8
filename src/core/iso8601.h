#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace quillmer {

using Timestamp = std::chrono::system_clock::time_point;

// "2026-05-04T09:30:12Z": UTC, whole seconds (any fraction is truncated).
std::string formatISO8601(Timestamp time);

// Internet date-time with or without fractional seconds, "Z" or a numeric offset.
std::optional<Timestamp> parseISO8601(std::string_view text);

}  // namespace quillmer
