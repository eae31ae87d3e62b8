#include "capture/local_session_library.h"

#include <algorithm>

#include "capture/session_folder.h"
#include "core/error.h"

namespace quillmer {

LocalSessionLibrary::LocalSessionLibrary(std::filesystem::path sessionsRoot, std::filesystem::path exportsRoot)
    : sessionsRoot_(std::move(sessionsRoot)), exportsRoot_(std::move(exportsRoot)) {}

std::optional<RecoverableLocalSession> LocalSessionLibrary::loadSession(const std::filesystem::path& directory) const {
    RecoverableLocalSession session;
    try {
        session.manifest = readManifest(directory);
    } catch (const Error&) {
        return std::nullopt;
    }
    session.directory = directory;
    const auto exportFolder = exportsRoot_ / session.manifest.id.toString();
    std::error_code ignored;
    if (std::filesystem::exists(exportFolder / "evidence.json", ignored)) session.exportDirectory = exportFolder;
    return session;
}

std::optional<RecoverableLocalSession> LocalSessionLibrary::session(const std::string& id) const {
    const auto uuid = Uuid::parse(id);
    if (!uuid) return std::nullopt;
    return loadSession(sessionFolder(sessionsRoot_, *uuid));
}

std::vector<RecoverableLocalSession> LocalSessionLibrary::recoverableSessions() const {
    std::vector<RecoverableLocalSession> sessions;
    std::error_code error;
    std::filesystem::directory_iterator entries(sessionsRoot_, error);
    if (error) return sessions;
    for (const auto& entry : entries) {
        if (entry.path().filename().string().starts_with(".")) continue;
        if (auto session = loadSession(entry.path())) sessions.push_back(std::move(*session));
    }
    std::stable_sort(sessions.begin(), sessions.end(), [](const auto& a, const auto& b) {
        return a.manifest.createdAt > b.manifest.createdAt;
    });
    return sessions;
}

std::vector<LocalSessionSummary> LocalSessionLibrary::recentSessions(int limit) const {
    auto sessions = recoverableSessions();
    sessions.resize(std::min(sessions.size(), static_cast<size_t>(std::max(limit, 0))));
    std::vector<LocalSessionSummary> summaries;
    for (const auto& session : sessions) {
        summaries.push_back({session.manifest.id.toString(), formatISO8601(session.manifest.createdAt),
                             session.exportDirectory ? "Ready to analyze" : "Ready to understand",
                             session.manifest.createdAt});
    }
    return summaries;
}

void LocalSessionLibrary::deleteSession(const std::string& id) {
    if (!Uuid::parse(id)) return;
    throw NotAvailableError();
}

}  // namespace quillmer
