#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "capture/local_session_manifest.h"
#include "core/iso8601.h"
#include "platform/trash.h"

namespace quillmer {

// What one session folder (and its export folder) says about a session's progress.
// An absent count means that stage has not run, or its file cannot be read.
struct RecoverableLocalSession {
    std::filesystem::path directory;
    std::optional<std::filesystem::path> exportDirectory;  // only when it holds "evidence.json"
    LocalSessionManifest manifest;
    std::optional<int> transcriptSegmentCount;
    std::optional<int> candidateCount;
    std::optional<int> feedbackCount;
    int unfinishedAnalysisCount = 0;
};

// Chooses between folders that hold the same meeting: the one with more progress wins.
struct SessionQuality {
    bool hasFeedback = false;
    int feedbackCount = -1;
    bool hasExport = false;
    int candidateCount = -1;
    int transcriptCount = -1;
    Timestamp createdAt;

    static SessionQuality of(const RecoverableLocalSession& session);
    // Feedback first, then its count, the export, candidates, transcript, and finally age.
    bool isLowerThan(const SessionQuality& other) const;
};

// One row of the recent list.
struct LocalSessionSummary {
    std::string id;
    std::string title;
    std::string detail;
    Timestamp createdAt;

    bool operator==(const LocalSessionSummary&) const = default;
    Json toJSON() const;
};

// The read side of the session store: scans the Sessions root, reads each folder's progress,
// collapses folders of the same meeting and deletes meetings to the Trash.
class LocalSessionLibrary {
public:
    // Absent roots resolve to the user's Sessions and Exports folders (which may throw FileSystemError).
    explicit LocalSessionLibrary(Trash& trash, std::optional<std::filesystem::path> sessionsRoot = std::nullopt,
                                 std::optional<std::filesystem::path> exportsRoot = std::nullopt);

    const std::filesystem::path& sessionsRoot() const { return sessionsRoot_; }
    const std::filesystem::path& exportsRoot() const { return exportsRoot_; }

    // Nothing when the folder has no readable session.json, is not named by its manifest's id, or
    // holds a capture that never wrote a video sample. Never throws.
    std::optional<RecoverableLocalSession> loadSession(const std::filesystem::path& directory) const;
    // The session of that UUID text (either case), when it loads.
    std::optional<RecoverableLocalSession> session(const std::string& id) const;
    // Every loadable folder, newest first; an unreadable root is an empty list.
    std::vector<RecoverableLocalSession> recoverableSessions() const;
    // One session per meeting (the one with the most progress), newest first.
    std::vector<RecoverableLocalSession> uniqueSessions() const;
    std::vector<LocalSessionSummary> recentSessions(int limit) const;

    // Moves the session folder, then its export folder, to the Trash. Text that is not a UUID does
    // nothing. Throws the FileSystemError of the first failed move; what follows it stays.
    void deleteSession(const std::string& id) const;

    // "source:<fingerprint>", "legacy:<w>x<h>:<bytes>:<milliseconds>" or "session:<UUID>".
    static std::string identity(const RecoverableLocalSession& session);
    // The one-line progress label ("Ready to understand", "3 changes ready to code", …).
    static std::string detail(const RecoverableLocalSession& session);

private:
    Trash& trash_;
    std::filesystem::path sessionsRoot_;
    std::filesystem::path exportsRoot_;
};

}  // namespace quillmer
