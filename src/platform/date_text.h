#pragma once

#include <string>

#include "core/iso8601.h"

namespace quillmer {

// The locale the user asked for dates in: $LC_ALL, then $LC_TIME, then $LANG ("" when none is set).
std::string userDateLocale();

// `time` in the given locale's short date and short time styles, in the local time zone, with
// today's and yesterday's dates written relative to now ("Today, 9:30 AM" in English).
// An empty or unknown locale falls back to the library's default.
std::string formatShortRelativeDateTime(Timestamp time, const std::string& locale = userDateLocale());

}  // namespace quillmer
