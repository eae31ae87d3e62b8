#include "mcp/meeting_resources.h"

#include <array>

#include "core/utf8.h"
#include "mcp/mcp_protocol_error.h"

namespace quillmer {

namespace {

struct MeetingDocument {
    const char* name;  // the last part of the URI
    const char* file;  // in the export folder
    const char* mimeType;
    const char* description;
};

constexpr std::array<MeetingDocument, 9> kDocuments{{
    {"brief.md", "implementation-brief.md", "text/markdown", "Implementation brief"},
    {"brief.json", "implementation-brief.json", "application/json", "Implementation brief (JSON)"},
    {"summary.md", "meeting-summary.md", "text/markdown", "Meeting summary"},
    {"summary.json", "meeting-summary.json", "application/json", "Meeting summary (JSON)"},
    {"evidence.md", "evidence.md", "text/markdown", "Evidence moments"},
    {"evidence.json", "evidence.json", "application/json", "Evidence bundle"},
    {"feedback.md", "feedback.md", "text/markdown", "Grounded feedback"},
    {"feedback.json", "feedback.json", "application/json", "Grounded feedback (JSON)"},
    {"review-state.json", "review-state.json", "application/json", "Review decisions"},
}};

constexpr std::string_view kPrefix = "quillmer://meetings/";
constexpr size_t kPageSize = 200;

std::string uriOf(const std::string& id, const MeetingDocument& document) {
    return std::string(kPrefix) + id + "/" + document.name;
}

}  // namespace

Json meetingResourceList(MeetingLibrary& library, const std::optional<std::string>& cursor) {
    size_t offset = 0;
    if (cursor) {
        if (cursor->empty() || cursor->size() > 9 || cursor->find_first_not_of("0123456789") != std::string::npos)
            throw McpProtocolError(rpc::invalidParams, "Invalid cursor");
        offset = std::stoul(*cursor);
    }
    Json resources = Json::array();
    size_t index = 0;
    for (const auto& meeting : library.meetings()) {
        for (const auto& document : kDocuments) {
            if (!library.file(meeting, document.file)) continue;
            if (index++ < offset) continue;
            if (resources.size() == kPageSize) return {{"resources", resources}, {"nextCursor", std::to_string(offset + kPageSize)}};
            resources.push_back({{"uri", uriOf(meeting.id, document)},
                                 {"name", meeting.id + "/" + document.name},
                                 {"title", std::string(document.description) + " · " + meeting.title},
                                 {"mimeType", document.mimeType}});
        }
    }
    return {{"resources", resources}};
}

Json meetingResourceTemplates() {
    Json templates = Json::array();
    for (const auto& document : kDocuments)
        templates.push_back({{"uriTemplate", std::string(kPrefix) + "{id}/" + document.name},
                             {"name", document.name},
                             {"title", document.description},
                             {"mimeType", document.mimeType}});
    return {{"resourceTemplates", templates}};
}

std::optional<Json> readMeetingResource(MeetingLibrary& library, const std::string& uri) {
    if (!uri.starts_with(kPrefix)) return std::nullopt;
    const std::string rest = uri.substr(kPrefix.size());
    const size_t slash = rest.find('/');
    if (slash == std::string::npos) return std::nullopt;
    const auto* meeting = library.find(rest.substr(0, slash));
    if (!meeting) return std::nullopt;
    for (const auto& document : kDocuments) {
        if (rest.substr(slash + 1) != document.name) continue;
        const auto file = library.file(*meeting, document.file);
        const auto text = file ? readSmallFile(*file) : std::nullopt;
        if (!text || !isValidUTF8(*text)) return std::nullopt;
        return Json{{"contents", Json::array({{{"uri", uri}, {"mimeType", document.mimeType}, {"text", *text}}})}};
    }
    return std::nullopt;
}

}  // namespace quillmer
