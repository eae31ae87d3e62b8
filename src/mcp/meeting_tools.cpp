// The six read-only tools. Bad argument values and unknown meetings are tool results with
// isError and a sentence for the agent; only an unknown tool is a protocol error.
#include "mcp/meeting_tools.h"

#include <openssl/evp.h>

#include <algorithm>
#include <functional>
#include <map>

#include "core/sha256.h"
#include "core/time_format.h"
#include "core/utf8.h"
#include "mcp/mcp_protocol_error.h"

namespace quillmer {

namespace {

constexpr int kMaxLimit = 50;
constexpr int kDefaultLimit = 20;
// Agents refuse answers over about 25,000 tokens; pages of this many characters stay well below.
constexpr int64_t kDefaultPageChars = 20000;
constexpr int64_t kMaxPageChars = 60000;

// A bad argument value: the message goes back to the agent as an isError result.
struct ToolFailure {
    std::string message;
};

Json success(const Json& structured) {
    return {{"content", Json::array({{{"type", "text"}, {"text", encodeCompactJSON(structured)}}})},
            {"structuredContent", structured},
            {"isError", false}};
}

Json failure(const std::string& message) {
    return {{"content", Json::array({{{"type", "text"}, {"text", message}}})}, {"isError", true}};
}

std::optional<std::string> optionalString(const Json& arguments, const char* key) {
    const auto it = arguments.find(key);
    if (it == arguments.end() || it->is_null()) return std::nullopt;
    if (!it->is_string()) throw ToolFailure{std::string("The argument \"") + key + "\" must be a string."};
    return it->get<std::string>();
}

std::string requiredString(const Json& arguments, const char* key) {
    auto value = optionalString(arguments, key);
    if (!value || value->empty())
        throw ToolFailure{std::string("The argument \"") + key + "\" is required; pass it as a string."};
    return *value;
}

int64_t optionalInteger(const Json& arguments, const char* key, int64_t fallback, int64_t low, int64_t high) {
    const auto it = arguments.find(key);
    if (it == arguments.end() || it->is_null()) return fallback;
    int64_t value = 0;
    if (!decodeJSONValue(*it, value) || value < low || value > high)
        throw ToolFailure{std::string("The argument \"") + key + "\" must be a whole number from " +
                          std::to_string(low) + " to " + std::to_string(high) + "."};
    return value;
}

// Cursors are the decimal offset of the next page; anything else was not one we handed out.
size_t cursorOffset(const Json& arguments) {
    const auto cursor = optionalString(arguments, "cursor");
    if (!cursor) return 0;
    if (cursor->empty() || cursor->size() > 9 || !std::all_of(cursor->begin(), cursor->end(), ::isdigit))
        throw ToolFailure{"That cursor is not valid; pass the nextCursor of the previous answer, or none."};
    return std::stoul(*cursor);
}

const MeetingEntry& requiredMeeting(MeetingLibrary& library, const Json& arguments) {
    const std::string id = requiredString(arguments, "meeting");
    if (const auto* meeting = library.find(id)) return *meeting;
    throw ToolFailure{"No meeting has the id \"" + id + "\". Call list_meetings for the ids of the exported meetings."};
}

std::optional<Json> readMeetingJSON(const MeetingLibrary& library, const MeetingEntry& meeting, const char* name) {
    const auto file = library.file(meeting, name);
    const auto text = file ? readSmallFile(*file) : std::nullopt;
    if (!text) return std::nullopt;
    try {
        return parseJSON(*text);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::string lowerASCII(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

// Byte offset of the `count`-th code point of `text` (its size when shorter).
size_t codePointOffset(std::string_view text, int64_t count) {
    size_t at = 0;
    for (; at < text.size() && count > 0; --count) at += std::max<size_t>(1, utf8SequenceLength(text, at));
    return std::min(at, text.size());
}

// `text` cut back to a whole UTF-8 sequence at both ends.
std::string_view wholeSequences(std::string_view text, size_t begin, size_t end) {
    auto isContinuation = [&](size_t at) { return at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80; };
    while (begin > 0 && isContinuation(begin)) --begin;
    while (end < text.size() && isContinuation(end)) ++end;
    return text.substr(begin, end - begin);
}

std::string frameKind(const std::string& path) {
    auto endsWith = [&](std::string_view suffix) {
        return path.size() >= suffix.size() && path.compare(path.size() - suffix.size(), suffix.size(), suffix) == 0;
    };
    if (path.find("-change-focus.") != std::string::npos) return "focusedCrop";
    if (path.find("-change-anchor.") != std::string::npos) return "annotated";
    if (endsWith("-0.png")) return "before";
    if (endsWith("-1.png")) return "atMoment";
    if (endsWith("-2.png")) return "after";
    return "evidence";
}

std::string base64(std::string_view bytes) {
    std::string out(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    const int written = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                        reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()));
    out.resize(static_cast<size_t>(std::max(written, 0)));
    return out;
}

// ---- list_meetings -------------------------------------------------------------------------

Json listMeetings(MeetingLibrary& library, const Json& arguments) {
    const auto query = optionalString(arguments, "query");
    const auto limit = static_cast<size_t>(optionalInteger(arguments, "limit", kDefaultLimit, 1, kMaxLimit));
    const size_t offset = cursorOffset(arguments);
    const std::string needle = lowerASCII(query.value_or(""));

    Json rows = Json::array();
    size_t matched = 0;
    bool more = false;
    for (const auto& meeting : library.meetings()) {
        if (!needle.empty() && lowerASCII(meeting.title + " " + meeting.id + " " + meeting.date).find(needle) == std::string::npos)
            continue;
        if (matched++ < offset) continue;
        if (rows.size() == limit) {
            more = true;
            break;
        }
        rows.push_back({{"id", meeting.id},
                        {"title", meeting.title},
                        {"date", meeting.date},
                        {"has", {{"evidence", true}, {"feedback", meeting.hasFeedback}, {"summary", meeting.hasSummary}, {"brief", meeting.hasBrief}}},
                        {"counts", {{"moments", meeting.moments}, {"feedbackItems", meeting.feedbackItems},
                                    {"briefItems", meeting.briefItems}, {"actionItems", meeting.actionItems}}}});
    }
    Json result = {{"meetings", rows}};
    if (more) result["nextCursor"] = std::to_string(offset + limit);
    return success(result);
}

// ---- get_brief -----------------------------------------------------------------------------

Json getBrief(MeetingLibrary& library, const Json& arguments) {
    const auto& meeting = requiredMeeting(library, arguments);
    const std::string format = optionalString(arguments, "format").value_or("markdown");
    if (format != "markdown" && format != "json")
        throw ToolFailure{"The argument \"format\" must be \"markdown\" or \"json\"."};
    const int64_t offset = optionalInteger(arguments, "offset", 0, 0, INT32_MAX);
    const int64_t maxChars = optionalInteger(arguments, "max_chars", kDefaultPageChars, 1, kMaxPageChars);

    const auto file = library.file(meeting, format == "json" ? "implementation-brief.json" : "implementation-brief.md");
    const auto text = file ? readSmallFile(*file) : std::nullopt;
    if (!text) {
        const std::string step = meeting.hasFeedback
            ? "open it in Quillmer, review the feedback items and create the hand-off"
            : "open it in Quillmer and run the analysis, then review the feedback items and create the hand-off";
        throw ToolFailure{"Meeting " + meeting.id + " has no implementation brief yet: " + step +
                          ". Until then, get_summary and get_evidence show what was said and shown."};
    }
    const size_t begin = codePointOffset(*text, offset);
    const size_t end = begin + codePointOffset(std::string_view(*text).substr(begin), maxChars);
    Json result = {{"meeting", meeting.id}, {"format", format}, {"offset", offset},
                   {"text", std::string(text->substr(begin, end - begin))}};
    if (end < text->size()) result["next_offset"] = offset + maxChars;
    return success(result);
}

// ---- get_evidence --------------------------------------------------------------------------

Json momentJSON(const Json& candidate, const Json* item) {
    Json frames = Json::array();
    for (const auto& frame : candidate.value("frames", Json::array())) {
        if (!frame.is_object() || !frame.value("path", Json()).is_string()) continue;
        const std::string path = frame["path"];
        frames.push_back({{"path", path}, {"sha256", frame.value("sha256", "")}, {"byteCount", frame.value("byteCount", 0)},
                          {"kind", frameKind(path)}});
    }
    const double start = candidate.value("rangeStartSeconds", 0.0), end = candidate.value("rangeEndSeconds", 0.0);
    Json moment = {{"candidateID", candidate.value("id", "")},
                   {"start", formatTimestamp(start)},
                   {"end", formatTimestamp(end)},
                   {"rangeStartSeconds", start},
                   {"rangeEndSeconds", end},
                   {"trigger", candidate.value("trigger", "")},
                   {"transcriptContext", candidate.value("transcriptContext", "")},
                   {"frames", frames}};
    if (candidate.contains("visualAnchor") && candidate["visualAnchor"].is_object())
        moment["visualAnchor"] = candidate["visualAnchor"];
    if (item) {
        moment["quote"] = item->value("quote", "");
        moment["feedback"] = {{"id", item->value("id", "")}, {"component", item->value("component", "")},
                              {"observed", item->value("observed", "")}, {"requestedChange", item->value("requestedChange", "")},
                              {"confidence", item->value("confidence", 0.0)},
                              {"citedFrames", item->value("evidenceFramePaths", Json::array())}};
    }
    return moment;
}

Json getEvidence(MeetingLibrary& library, const Json& arguments) {
    const auto& meeting = requiredMeeting(library, arguments);
    const auto itemID = optionalString(arguments, "item");
    auto candidateID = optionalString(arguments, "candidate");
    const auto limit = static_cast<size_t>(optionalInteger(arguments, "limit", kDefaultLimit, 1, kMaxLimit));
    const size_t offset = cursorOffset(arguments);
    const auto evidence = readMeetingJSON(library, meeting, "evidence.json");
    if (!evidence || !evidence->value("candidates", Json()).is_array())
        throw ToolFailure{"The evidence of meeting " + meeting.id + " cannot be read; export it again in Quillmer."};
    const auto feedback = readMeetingJSON(library, meeting, "feedback.json").value_or(Json::object());

    // Feedback items by their candidate, so each moment carries its finding when there is one.
    std::map<std::string, const Json*> itemByCandidate;
    const Json items = feedback.is_object() ? feedback.value("items", Json::array()) : Json::array();
    for (const auto& item : items) {
        if (!item.is_object()) continue;
        const std::string candidate = item.value("candidateID", "");
        if (itemID && lowerASCII(item.value("id", "")) == lowerASCII(*itemID)) candidateID = candidate;
        itemByCandidate.emplace(lowerASCII(candidate), &item);
    }
    if (itemID && !candidateID)
        throw ToolFailure{"Meeting " + meeting.id + " has no feedback item \"" + *itemID + "\"; call get_evidence without it to see every moment."};

    Json moments = Json::array();
    size_t matched = 0;
    bool more = false;
    for (const auto& candidate : (*evidence)["candidates"]) {
        if (!candidate.is_object()) continue;
        const std::string id = lowerASCII(candidate.value("id", ""));
        if (candidateID && id != lowerASCII(*candidateID)) continue;
        if (matched++ < offset) continue;
        if (moments.size() == limit) {
            more = true;
            break;
        }
        const auto item = itemByCandidate.find(id);
        moments.push_back(momentJSON(candidate, item == itemByCandidate.end() ? nullptr : item->second));
    }
    if (candidateID && moments.empty() && offset == 0)
        throw ToolFailure{"Meeting " + meeting.id + " has no evidence moment \"" + *candidateID + "\"; call get_evidence without it to see every moment."};
    Json result = {{"meeting", meeting.id}, {"moments", moments}};
    if (more) result["nextCursor"] = std::to_string(offset + limit);
    return success(result);
}

// ---- get_summary ---------------------------------------------------------------------------

Json getSummary(MeetingLibrary& library, const Json& arguments) {
    const auto& meeting = requiredMeeting(library, arguments);
    const auto summary = readMeetingJSON(library, meeting, "meeting-summary.json");
    if (!summary || !summary->is_object())
        throw ToolFailure{"Meeting " + meeting.id + " has no summary yet: open it in Quillmer and process it to the end "
                          "(the summary is made with the brief). get_evidence shows the moments meanwhile."};
    auto texts = [&](const char* key) {
        Json out = Json::array();
        for (const auto& value : summary->value(key, Json::array()))
            if (value.is_string()) out.push_back(value);
        return out;
    };
    Json topics = Json::array();
    for (const auto& topic : summary->value("topics", Json::array()))
        if (topic.is_object()) topics.push_back({{"title", topic.value("title", "")}, {"detail", topic.value("detail", "")}});
    return success({{"meeting", meeting.id},
                    {"overview", summary->value("overview", "")},
                    {"topics", topics},
                    {"decisions", texts("decisions")},
                    {"questions", texts("unresolvedQuestions")},
                    {"actionItems", texts("actionItems")}});
}

// ---- get_frame -----------------------------------------------------------------------------

Json getFrame(MeetingLibrary& library, const Json& arguments) {
    const auto& meeting = requiredMeeting(library, arguments);
    const std::string path = requiredString(arguments, "path");
    const auto evidence = readMeetingJSON(library, meeting, "evidence.json");
    // Only frames the bundle lists, with the digest it recorded for them.
    std::optional<std::string> digest;
    for (const auto& candidate : evidence ? evidence->value("candidates", Json::array()) : Json::array())
        for (const auto& frame : candidate.is_object() ? candidate.value("frames", Json::array()) : Json::array())
            if (frame.is_object() && frame.value("path", Json()) == path && frame.value("sha256", Json()).is_string())
                digest = frame["sha256"].get<std::string>();
    if (!digest)
        throw ToolFailure{"\"" + path + "\" is not a frame of meeting " + meeting.id +
                          "; pass a frame path exactly as get_evidence lists it."};
    const auto file = library.file(meeting, path);
    const auto bytes = file ? readSmallFile(*file) : std::nullopt;
    if (!bytes) throw ToolFailure{"The frame \"" + path + "\" is missing from meeting " + meeting.id + "; export the meeting again in Quillmer."};
    if (sha256Hex(*bytes) != *digest)
        throw ToolFailure{"The frame \"" + path + "\" no longer matches the digest its evidence bundle recorded, so it is not shown; "
                          "export the meeting again in Quillmer."};
    const std::string lower = lowerASCII(path);
    const std::string mimeType = lower.ends_with(".png") ? "image/png" : "image/jpeg";
    Json structured = {{"meeting", meeting.id}, {"path", path}, {"sha256", *digest},
                       {"byteCount", bytes->size()}, {"mimeType", mimeType}};
    Json result = success(structured);
    const Json image = Json::object({{"type", "image"}, {"data", base64(*bytes)}, {"mimeType", mimeType}});
    result["content"].insert(result["content"].begin(), image);
    return result;
}

// ---- search --------------------------------------------------------------------------------

constexpr size_t kSnippetContext = 80;
constexpr int kHitsPerDocument = 3;

std::string snippetAround(std::string_view text, size_t at, size_t length) {
    const size_t begin = at > kSnippetContext ? at - kSnippetContext : 0;
    std::string snippet(wholeSequences(text, begin, std::min(text.size(), at + length + kSnippetContext)));
    std::replace(snippet.begin(), snippet.end(), '\n', ' ');
    return snippet;
}

void searchText(const std::string& text, const std::string& needle, Json base, Json& hits, size_t limit) {
    const std::string haystack = lowerASCII(text);
    size_t at = 0;
    for (int found = 0; found < kHitsPerDocument && hits.size() < limit; ++found) {
        at = haystack.find(needle, at);
        if (at == std::string::npos) return;
        base["snippet"] = snippetAround(text, at, needle.size());
        hits.push_back(base);
        at += needle.size();
    }
}

Json search(MeetingLibrary& library, const Json& arguments) {
    const std::string query = requiredString(arguments, "query");
    if (query.size() > 200) throw ToolFailure{"The query is too long; search for a few words."};
    const std::string scope = optionalString(arguments, "scope").value_or("all");
    if (scope != "all" && scope != "briefs" && scope != "summaries" && scope != "transcripts")
        throw ToolFailure{"The argument \"scope\" must be \"all\", \"briefs\", \"summaries\" or \"transcripts\"."};
    const auto limit = static_cast<size_t>(optionalInteger(arguments, "limit", kDefaultLimit, 1, kMaxLimit));
    const std::string needle = lowerASCII(query);

    Json hits = Json::array();
    for (const auto& meeting : library.meetings()) {
        if (hits.size() >= limit) break;
        auto searchFile = [&](const char* name, const char* source) {
            const auto file = library.file(meeting, name);
            if (const auto text = file ? readSmallFile(*file) : std::nullopt)
                searchText(*text, needle, {{"meeting", meeting.id}, {"source", source}}, hits, limit);
        };
        if (scope == "all" || scope == "briefs") searchFile("implementation-brief.md", "brief");
        if (scope == "all" || scope == "summaries") searchFile("meeting-summary.md", "summary");
        if ((scope == "all" || scope == "transcripts") && !meeting.transcriptPath.empty()) {
            const auto transcript = readMeetingJSON(library, meeting, meeting.transcriptPath.c_str());
            const size_t cap = std::min(limit, hits.size() + kHitsPerDocument);
            for (const auto& segment : transcript ? transcript->value("segments", Json::array()) : Json::array()) {
                if (hits.size() >= cap) break;
                if (!segment.is_object() || !segment.value("text", Json()).is_string()) continue;
                const double start = segment.value("startSeconds", Json(0.0)).is_number() ? segment["startSeconds"].get<double>() : 0.0;
                searchText(segment["text"], needle, {{"meeting", meeting.id}, {"source", "transcript"}, {"at", formatTimestamp(start)}},
                           hits, cap);
            }
        }
    }
    return success({{"query", query}, {"hits", hits}});
}

// ---- descriptions --------------------------------------------------------------------------

Json property(const char* type, const char* description) { return {{"type", type}, {"description", description}}; }

Json tool(const char* name, const char* title, const char* description, Json properties, Json required) {
    return {{"name", name},
            {"title", title},
            {"description", description},
            {"inputSchema", {{"type", "object"}, {"properties", std::move(properties)}, {"required", std::move(required)}}},
            {"annotations", {{"readOnlyHint", true}, {"destructiveHint", false}, {"idempotentHint", true}, {"openWorldHint", false}}}};
}

using ToolFunction = Json (*)(MeetingLibrary&, const Json&);

const std::map<std::string, ToolFunction>& toolFunctions() {
    static const std::map<std::string, ToolFunction> table = {
        {"list_meetings", &listMeetings}, {"get_brief", &getBrief}, {"get_evidence", &getEvidence},
        {"get_summary", &getSummary},     {"get_frame", &getFrame}, {"search", &search}};
    return table;
}

}  // namespace

Json meetingToolDescriptions() {
    const Json meeting = property("string", "Meeting id from list_meetings.");
    const Json limit = {{"type", "integer"}, {"minimum", 1}, {"maximum", kMaxLimit}};
    const Json cursor = property("string", "nextCursor of the previous page.");
    return Json::array({
        tool("list_meetings", "List meetings", "Exported Quillmer meetings, newest first, with what each has (evidence, feedback, summary, brief).",
             {{"query", property("string", "Words in the title, id or date.")}, {"limit", limit}, {"cursor", cursor}}, Json::array()),
        tool("get_brief", "Implementation brief", "A meeting's reviewed implementation brief: the changes to make, with quotes and frames. Paged.",
             {{"meeting", meeting},
              {"format", {{"type", "string"}, {"enum", {"markdown", "json"}}}},
              {"offset", property("integer", "Character offset; use next_offset.")},
              {"max_chars", {{"type", "integer"}, {"minimum", 1}, {"maximum", kMaxPageChars}}}},
             {"meeting"}),
        tool("get_evidence", "Evidence moments", "A meeting's feedback moments: quote, transcript context, times, trigger, visual anchor and frames.",
             {{"meeting", meeting}, {"item", property("string", "Feedback item id.")}, {"candidate", property("string", "Candidate id.")},
              {"limit", limit}, {"cursor", cursor}},
             {"meeting"}),
        tool("get_summary", "Meeting summary", "A meeting's overview, decisions, open questions and action items.", {{"meeting", meeting}},
             {"meeting"}),
        tool("get_frame", "Evidence frame", "One frame image listed in a meeting's evidence, checked against its SHA-256.",
             {{"meeting", meeting}, {"path", property("string", "Frame path as get_evidence lists it.")}}, {"meeting", "path"}),
        tool("search", "Search meetings", "Find words across briefs, summaries and transcripts; returns meeting ids and snippets.",
             {{"query", property("string", "Words to find.")},
              {"scope", {{"type", "string"}, {"enum", {"all", "briefs", "summaries", "transcripts"}}}},
              {"limit", limit}},
             {"query"}),
    });
}

Json callMeetingTool(MeetingLibrary& library, const std::string& name, const Json& arguments) {
    const auto tool = toolFunctions().find(name);
    if (tool == toolFunctions().end()) throw McpProtocolError(rpc::invalidParams, "Unknown tool: " + name);
    try {
        return tool->second(library, arguments);
    } catch (const ToolFailure& failed) {
        return failure(failed.message);
    } catch (const Json::exception&) {
        // A file on disk holds a value of another type than Quillmer writes there.
        return failure("A file of that meeting is not in the shape Quillmer writes; export the meeting again in Quillmer.");
    }
}

}  // namespace quillmer
