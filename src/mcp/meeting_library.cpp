#include "mcp/meeting_library.h"

#include <algorithm>
#include <fstream>
#include <set>

#include "core/json.h"
#include "core/percent_encoding.h"
#include "core/safe_path.h"

namespace quillmer {

namespace {

namespace fs = std::filesystem;

// Under the one confinement rule; names are encoded first so that a literal '%' stays literal.
std::optional<fs::path> resolveNamed(const fs::path& base, std::string_view relative) {
    return resolveUnderBase(base, percentEncodedPath(relative));
}

std::optional<Json> readJSONFile(const std::optional<fs::path>& file) {
    if (!file) return std::nullopt;
    const auto text = readSmallFile(*file);
    if (!text) return std::nullopt;
    try {
        return parseJSON(*text);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::string stringAt(const Json& object, const char* key) {
    const auto it = object.is_object() ? object.find(key) : object.end();
    return it != object.end() && it->is_string() ? it->get<std::string>() : std::string();
}

int arraySize(const Json& object, const char* key) {
    const auto it = object.is_object() ? object.find(key) : object.end();
    return it != object.end() && it->is_array() ? static_cast<int>(it->size()) : 0;
}

std::optional<MeetingEntry> loadMeeting(const MeetingLibrary& library, MeetingEntry entry) {
    const auto evidence = readJSONFile(library.file(entry, "evidence.json"));
    if (!evidence || !evidence->is_object() || !(*evidence)["candidates"].is_array() ||
        !(*evidence)["session"].is_object())
        return std::nullopt;
    const Json& session = (*evidence)["session"];
    entry.date = stringAt(session, "capturedAt");
    if (entry.date.empty()) entry.date = stringAt(*evidence, "exportedAt");
    entry.transcriptPath = stringAt(session.value("transcript", Json::object()), "path");
    entry.moments = arraySize(*evidence, "candidates");

    if (const auto feedback = readJSONFile(library.file(entry, "feedback.json")); feedback && feedback->is_object()) {
        entry.hasFeedback = true;
        entry.feedbackItems = arraySize(*feedback, "items");
    }
    std::string title;
    if (const auto summary = readJSONFile(library.file(entry, "meeting-summary.json")); summary && summary->is_object()) {
        entry.hasSummary = true;
        entry.actionItems = arraySize(*summary, "actionItems");
        if (const auto& topics = (*summary)["topics"]; topics.is_array() && !topics.empty())
            title = stringAt(topics[0], "title");
    }
    if (const auto brief = readJSONFile(library.file(entry, "implementation-brief.json")); brief && brief->is_object()) {
        entry.hasBrief = true;
        entry.briefItems = arraySize(*brief, "items");
        if (const auto& items = (*brief)["items"]; title.empty() && items.is_array() && !items.empty())
            title = stringAt(items[0], "component");
    }
    // Exports carry no title of their own: the first topic or change names the meeting well enough.
    entry.title = !title.empty() ? title : "Meeting of " + entry.date.substr(0, 10);
    return entry;
}

}  // namespace

std::optional<std::string> readSmallFile(const fs::path& file, size_t limit) {
    std::ifstream stream(file, std::ios::binary);
    if (!stream) return std::nullopt;
    std::string bytes;
    char buffer[65536];
    while (stream.read(buffer, sizeof buffer) || stream.gcount() > 0) {
        bytes.append(buffer, static_cast<size_t>(stream.gcount()));
        if (bytes.size() > limit) return std::nullopt;
    }
    if (stream.bad()) return std::nullopt;
    return bytes;
}

std::vector<fs::path> MeetingLibrary::rootsFromList(std::string_view list) {
    std::vector<fs::path> roots;
    size_t start = 0;
    while (start <= list.size()) {
        const size_t end = std::min(list.find(':', start), list.size());
        const auto part = list.substr(start, end - start);
        if (!part.empty() && part.front() == '/') roots.emplace_back(part);
        start = end + 1;
    }
    return roots;
}

const std::vector<MeetingEntry>& MeetingLibrary::meetings() {
    std::map<fs::path, Cached> seen;
    std::set<std::string> ids;
    std::vector<MeetingEntry> found;
    for (const auto& root : roots_) {
        std::error_code error;
        for (fs::directory_iterator it(root, error), end; !error && it != end; it.increment(error)) {
            const std::string name = it->path().filename().string();
            if (name.empty() || name.front() == '.' || ids.contains(name)) continue;
            const auto folder = resolveNamed(root, name);
            std::error_code statError;
            if (!folder || !fs::is_directory(*folder, statError)) continue;
            const auto stamp = fs::last_write_time(*folder, statError);
            if (statError) continue;
            Cached cached;
            if (const auto old = cache_.find(*folder); old != cache_.end() && old->second.stamp == stamp)
                cached = std::move(old->second);
            else {
                MeetingEntry fresh;
                fresh.id = name;
                fresh.folder = *folder;
                cached = {stamp, loadMeeting(*this, std::move(fresh))};
            }
            if (cached.entry && cached.entry->id == name) {
                ids.insert(name);
                found.push_back(*cached.entry);
            }
            seen.emplace(*folder, std::move(cached));
        }
    }
    cache_ = std::move(seen);
    std::stable_sort(found.begin(), found.end(), [](const MeetingEntry& a, const MeetingEntry& b) {
        return a.date != b.date ? a.date > b.date : a.id < b.id;
    });
    sorted_ = std::move(found);
    return sorted_;
}

const MeetingEntry* MeetingLibrary::find(std::string_view id) {
    for (const auto& meeting : meetings())
        if (meeting.id == id) return &meeting;
    return nullptr;
}

std::optional<fs::path> MeetingLibrary::file(const MeetingEntry& meeting, std::string_view relative) const {
    const auto path = resolveNamed(meeting.folder, relative);
    std::error_code error;
    if (!path || !fs::is_regular_file(*path, error)) return std::nullopt;
    return path;
}

}  // namespace quillmer
