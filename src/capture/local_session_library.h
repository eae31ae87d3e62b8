#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "capture/local_session_manifest.h"
#include "capture/local_session_summary.h"

namespace quillmer {

// What one session folder says about how far the meeting has been processed.
struct RecoverableLocalSession {
    std::filesystem::path directory;
    std::optional<std::filesystem::path> exportDirectory;
    LocalSessionManifest manifest;
    std::optional<int> transcriptSegmentCount;
    std::optional<int> candidateCount;
    std::optional<int> feedbackCount;
    int unfinishedAnalysisCount = 0;
};

// The read side of the session store: scans the Sessions root, recovers one session, lists the
// recent ones, deletes one. For now it reads manifests and export folders only; per-stage counts,
// duplicate collapsing, localized titles and deleting to the trash come with the full library.
class LocalSessionLibrary {
public:
    LocalSessionLibrary(std::filesystem::path sessionsRoot, std::filesystem::path exportsRoot);

    // Never fails: an unreadable folder yields nothing.
    std::optional<RecoverableLocalSession> loadSession(const std::filesystem::path& directory) const;
    // `id` must be a session UUID; anything else yields nothing.
    std::optional<RecoverableLocalSession> session(const std::string& id) const;
    // Newest first; unreadable folders are skipped.
    std::vector<RecoverableLocalSession> recoverableSessions() const;
    std::vector<LocalSessionSummary> recentSessions(int limit) const;
    // Throws.
    void deleteSession(const std::string& id);

private:
    std::filesystem::path sessionsRoot_;
    std::filesystem::path exportsRoot_;
};

}  // namespace quillmer
