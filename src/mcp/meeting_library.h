#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillmer {

// One finished export folder as the MCP server lists it.
struct MeetingEntry {
    std::string id;                     // the export folder's name (the session UUID)
    std::filesystem::path folder;       // resolved, symbolic links followed
    std::string title;
    std::string date;                   // ISO 8601 capture time, as evidence.json holds it
    std::string transcriptPath;         // relative, as evidence.json lists it
    bool hasFeedback = false, hasSummary = false, hasBrief = false;
    int moments = 0, feedbackItems = 0, briefItems = 0, actionItems = 0;
};

// The export folders under the library roots, read-only. Every file it hands out is resolved
// with resolveUnderBase, so a name or link that leaves its root is never followed; a folder that is
// hidden (an export still being written) or lacks a readable evidence.json is not a meeting.
// Not thread-safe: one server loop owns it.
class MeetingLibrary {
public:
    explicit MeetingLibrary(std::vector<std::filesystem::path> roots) : roots_(std::move(roots)) {}

    // QUILLMER_LIBRARY_ROOTS: absolute paths separated by ':'; relative or empty parts are ignored.
    static std::vector<std::filesystem::path> rootsFromList(std::string_view list);

    // Newest capture first. Each call looks at every folder's modification time and re-reads only
    // folders that changed since the last call, so repeated listings stay cheap.
    const std::vector<MeetingEntry>& meetings();
    const MeetingEntry* find(std::string_view id);

    // A regular file inside the meeting's folder, or nothing when it is missing or escapes.
    std::optional<std::filesystem::path> file(const MeetingEntry& meeting, std::string_view relative) const;

private:
    struct Cached {
        std::filesystem::file_time_type stamp;
        std::optional<MeetingEntry> entry;  // none: not a meeting (checked again when it changes)
    };

    std::vector<std::filesystem::path> roots_;
    std::map<std::filesystem::path, Cached> cache_;
    std::vector<MeetingEntry> sorted_;
};

// The whole file when it is at most `limit` bytes; nothing otherwise or when unreadable.
std::optional<std::string> readSmallFile(const std::filesystem::path& file, size_t limit = 32u << 20);

}  // namespace quillmer
