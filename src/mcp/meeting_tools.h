#pragma once

#include <string>

#include "core/json.h"
#include "mcp/meeting_library.h"

namespace quillmer {

// The tool descriptions for tools/list: few, small and all read-only.
Json meetingToolDescriptions();

// Runs one tool. Returns a tools/call result: structuredContent with the same JSON as a text
// block, or isError with a sentence saying what to do. Throws McpProtocolError for an unknown tool.
Json callMeetingTool(MeetingLibrary& library, const std::string& name, const Json& arguments);

}  // namespace quillmer
