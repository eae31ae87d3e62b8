#include "mcp/meeting_library.h"

#include <algorithm>
#include <fstream>
#include <map>
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

// A regular file under `folder` by the one confinement rule.
std::optional<fs::path> regularFileUnder(const fs::path& folder, std::string_view relative) {
    const auto path = resolveNamed(folder, relative);
    std::error_code error;
    if (!path || !fs::is_regular_file(*path, error)) return std::nullopt;
    return path;
}

std::optional<MeetingEntry> loadMeeting(const fs::path& folder, MeetingEntry entry) {
    const auto evidence = readJSONFile(regularFileUnder(folder, "evidence.json"));
    if (!evidence || !evidence->is_object() || !(*evidence)["candidates"].is_array() ||
        !(*evidence)["session"].is_object())
        return std::nullopt;
    const Json& session = (*evidence)["session"];
    entry.date = stringAt(session, "capturedAt");
    if (entry.date.empty()) entry.date = stringAt(*evidence, "exportedAt");
    entry.transcriptPath = stringAt(session.value("transcript", Json::object()), "path");
    entry.moments = arraySize(*evidence, "candidates");

    if (const auto feedback = readJSONFile(regularFileUnder(folder, "feedback.json")); feedback && feedback->is_object()) {
        entry.hasFeedback = true;
        entry.feedbackItems = arraySize(*feedback, "items");
    }
    std::string title;
    if (const auto summary = readJSONFile(regularFileUnder(folder, "meeting-summary.json")); summary && summary->is_object()) {
        entry.hasSummary = true;
        entry.actionItems = arraySize(*summary, "actionItems");
        if (const auto& topics = (*summary)["topics"]; topics.is_array() && !topics.empty())
            title = stringAt(topics[0], "title");
    }
    if (const auto brief = readJSONFile(regularFileUnder(folder, "implementation-brief.json")); brief && brief->is_object()) {
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

namespace {

MeetingEntry entryNamed(const std::string& id, const fs::path& root) {
    MeetingEntry entry;
    entry.id = id;
    entry.root = root;
    return entry;
}

fs::file_time_type modificationTime(const fs::path& path) {
    std::error_code error;
    const auto stamp = fs::last_write_time(path, error);
    return error ? fs::file_time_type::min() : stamp;
}

}  // namespace

void MeetingLibrary::rescanRoots() {
    std::map<fs::path, Folder*> previous;
    for (auto& folder : folders_) previous.emplace(folder.resolved, &folder);
    std::vector<Folder> scanned;
    rootStamps_.clear();
    for (const auto& root : roots_) {
        rootStamps_.push_back(modificationTime(root));
        std::error_code error;
        for (fs::directory_iterator it(root, error), end; !error && it != end; it.increment(error)) {
            Folder folder{root, it->path().filename().string(), {}, {}, std::nullopt};
            if (folder.name.empty() || folder.name.front() == '.') continue;  // hidden: still being written
            const auto resolved = resolveNamed(root, folder.name);
            std::error_code statError;
            if (!resolved || !fs::is_directory(*resolved, statError)) continue;
            folder.resolved = *resolved;
            folder.stamp = modificationTime(*resolved);
            const auto old = previous.find(*resolved);
            if (old != previous.end() && old->second->stamp == folder.stamp && old->second->name == folder.name)
                folder.entry = std::move(old->second->entry);
            else
                folder.entry = loadMeeting(folder.resolved, entryNamed(folder.name, root));
            scanned.push_back(std::move(folder));
        }
    }
    folders_ = std::move(scanned);
}

// With the roots unchanged, only a listed folder's own contents can have changed.
bool MeetingLibrary::refreshFolders() {
    bool changed = false;
    for (auto& folder : folders_) {
        const auto stamp = modificationTime(folder.resolved);
        if (stamp == folder.stamp) continue;
        changed = true;
        // Resolved again from the root: the folder may have been replaced by a link.
        const auto resolved = resolveNamed(folder.root, folder.name);
        std::error_code error;
        folder.entry = std::nullopt;
        folder.stamp = stamp;
        if (resolved && fs::is_directory(*resolved, error)) {
            // Stamped before reading, so a file written meanwhile is read on the next call.
            folder.resolved = *resolved;
            folder.stamp = modificationTime(*resolved);
            folder.entry = loadMeeting(*resolved, entryNamed(folder.name, folder.root));
        }
    }
    return changed;
}

const std::vector<MeetingEntry>& MeetingLibrary::meetings() {
    std::vector<fs::file_time_type> stamps;
    for (const auto& root : roots_) stamps.push_back(modificationTime(root));
    if (stamps != rootStamps_ || !scanned_) {
        rescanRoots();
        scanned_ = true;
    } else if (!refreshFolders()) {
        return sorted_;
    }
    std::set<std::string> ids;  // a meeting in two roots is the first root's
    sorted_.clear();
    for (const auto& folder : folders_)
        if (folder.entry && ids.insert(folder.name).second) sorted_.push_back(*folder.entry);
    std::stable_sort(sorted_.begin(), sorted_.end(), [](const MeetingEntry& a, const MeetingEntry& b) {
        return a.date != b.date ? a.date > b.date : a.id < b.id;
    });
    return sorted_;
}

const MeetingEntry* MeetingLibrary::find(std::string_view id) {
    for (const auto& meeting : meetings())
        if (meeting.id == id) return &meeting;
    return nullptr;
}

std::optional<fs::path> MeetingLibrary::file(const MeetingEntry& meeting, std::string_view relative) const {
    const auto folder = resolveNamed(meeting.root, meeting.id);
    return folder ? regularFileUnder(*folder, relative) : std::nullopt;
}

}  // namespace quillmer
