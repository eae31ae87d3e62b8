#pragma once

#include <optional>
#include <string>

#include "core/json.h"
#include "mcp/meeting_library.h"

namespace quillmer {

// The meeting documents mirrored as resources, quillmer://meetings/{id}/{document}. Everything
// here is also reachable through the tools, which agents use more reliably.
Json meetingResourceList(MeetingLibrary& library, const std::optional<std::string>& cursor);
Json meetingResourceTemplates();
// The read result, or nothing when the URI names no existing document.
std::optional<Json> readMeetingResource(MeetingLibrary& library, const std::string& uri);

}  // namespace quillmer
