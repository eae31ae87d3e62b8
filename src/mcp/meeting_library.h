#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillmer {

// One finished export folder as the MCP server lists it.
struct MeetingEntry {
    std::string id;                     // the export folder's name (the session UUID)
    std::filesystem::path root;         // the library root it is listed under
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

    // Newest capture first. Each call compares the modification times of the roots and of every
    // listed folder with the last call's and re-reads only what changed, so repeated listings stay
    // cheap; files are still resolved afresh whenever they are read.
    const std::vector<MeetingEntry>& meetings();
    const MeetingEntry* find(std::string_view id);

    // A regular file inside the meeting's folder, or nothing when it is missing or escapes its
    // folder or root (resolved now, not taken from the listing).
    std::optional<std::filesystem::path> file(const MeetingEntry& meeting, std::string_view relative) const;

private:
    struct Folder {
        std::filesystem::path root;
        std::string name;
        std::filesystem::path resolved;
        std::filesystem::file_time_type stamp;
        std::optional<MeetingEntry> entry;  // none: not a meeting (looked at again when it changes)
    };
    void rescanRoots();
    bool refreshFolders();

    std::vector<std::filesystem::path> roots_;
    std::vector<std::filesystem::file_time_type> rootStamps_;  // as of the last full scan
    bool scanned_ = false;
    std::vector<Folder> folders_;                              // in scan order
    std::vector<MeetingEntry> sorted_;
};

// The whole file when it is at most `limit` bytes; nothing otherwise or when unreadable.
std::optional<std::string> readSmallFile(const std::filesystem::path& file, size_t limit = 32u << 20);

}  // namespace quillmer
