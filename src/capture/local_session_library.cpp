#include "capture/local_session_library.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <map>

#include "capture/session_folder.h"
#include "capture/session_progress_files.h"
#include "core/safe_path.h"
#include "platform/application_paths.h"
#include "platform/date_text.h"

namespace quillmer {

namespace {

// A file the manifest names, only when it lies inside the session folder.
std::optional<std::filesystem::path> namedFile(const std::filesystem::path& directory,
                                               const std::optional<std::string>& name) {
    return name ? resolveInside(directory, *name) : std::nullopt;
}

bool pathExists(const std::filesystem::path& path) {
    std::error_code error;
    return std::filesystem::exists(path, error);
}

void sortNewestFirst(std::vector<RecoverableLocalSession>& sessions) {
    std::stable_sort(sessions.begin(), sessions.end(), [](const auto& a, const auto& b) {
        return a.manifest.createdAt > b.manifest.createdAt;
    });
}

}  // namespace

SessionQuality SessionQuality::of(const RecoverableLocalSession& session) {
    SessionQuality quality;
    quality.hasFeedback = session.feedbackCount.has_value();
    quality.feedbackCount = session.feedbackCount.value_or(-1);
    quality.hasExport = session.exportDirectory.has_value();
    quality.candidateCount = session.candidateCount.value_or(-1);
    quality.transcriptCount = session.transcriptSegmentCount.value_or(-1);
    quality.createdAt = session.manifest.createdAt;
    return quality;
}

bool SessionQuality::isLowerThan(const SessionQuality& other) const {
    if (hasFeedback != other.hasFeedback) return other.hasFeedback;
    if (feedbackCount != other.feedbackCount) return feedbackCount < other.feedbackCount;
    if (hasExport != other.hasExport) return other.hasExport;
    if (candidateCount != other.candidateCount) return candidateCount < other.candidateCount;
    if (transcriptCount != other.transcriptCount) return transcriptCount < other.transcriptCount;
    return createdAt < other.createdAt;
}

Json LocalSessionSummary::toJSON() const {
    Json json = Json::object();
    putJSON(json, "id", id);
    putJSON(json, "title", title);
    putJSON(json, "detail", detail);
    putJSON(json, "createdAt", createdAt);
    return json;
}

LocalSessionLibrary::LocalSessionLibrary(Trash& trash, std::optional<std::filesystem::path> sessionsRoot,
                                         std::optional<std::filesystem::path> exportsRoot)
    : trash_(trash),
      sessionsRoot_(sessionsRoot ? std::move(*sessionsRoot) : quillmer::sessionsRoot()),
      exportsRoot_(exportsRoot ? std::move(*exportsRoot) : exportsDirectory()) {}

std::optional<RecoverableLocalSession> LocalSessionLibrary::loadSession(const std::filesystem::path& directory) const {
    RecoverableLocalSession session;
    try {
        session.manifest = readManifest(directory);
    } catch (const std::exception&) {
        return std::nullopt;
    }
    // A folder named otherwise than its manifest's id would be shown under one name and deleted or
    // exported under another. A capture that failed before its first video sample holds nothing.
    if (directory.filename() != session.manifest.id.toString() || !session.manifest.firstVideoPTSSeconds)
        return std::nullopt;
    session.directory = directory;
    if (const auto file = namedFile(directory, session.manifest.transcriptFile))
        session.transcriptSegmentCount = readTranscriptSegmentCount(*file);
    if (const auto file = namedFile(directory, session.manifest.candidateFile))
        session.candidateCount = readCandidateCount(*file);
    const auto exportDirectory = exportsRoot_ / session.manifest.id.toString();
    if (pathExists(exportDirectory / kEvidenceFileName)) {
        session.exportDirectory = exportDirectory;
        session.feedbackCount = readFeedbackItemCount(exportDirectory / kFeedbackFileName);
        session.unfinishedAnalysisCount = readAnalysisDiagnosticCount(exportDirectory / kAnalysisDiagnosticsFileName).value_or(0);
    }
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
    for (const auto end = std::filesystem::directory_iterator(); entries != end; entries.increment(error)) {
        if (error) break;
        const auto& path = entries->path();
        if (path.filename().string().starts_with('.')) continue;
        if (auto session = loadSession(path)) sessions.push_back(std::move(*session));
    }
    sortNewestFirst(sessions);
    return sessions;
}

std::vector<RecoverableLocalSession> LocalSessionLibrary::uniqueSessions() const {
    std::vector<RecoverableLocalSession> kept;
    std::map<std::string, size_t> byIdentity;
    for (auto& session : recoverableSessions()) {
        const auto [it, isNew] = byIdentity.emplace(identity(session), kept.size());
        if (isNew) kept.push_back(std::move(session));
        else if (SessionQuality::of(kept[it->second]).isLowerThan(SessionQuality::of(session)))
            kept[it->second] = std::move(session);
    }
    sortNewestFirst(kept);
    return kept;
}

std::vector<LocalSessionSummary> LocalSessionLibrary::recentSessions(int limit) const {
    std::vector<LocalSessionSummary> summaries;
    if (limit <= 0) return summaries;
    for (const auto& session : uniqueSessions()) {
        if (static_cast<int>(summaries.size()) >= limit) break;
        summaries.push_back({session.manifest.id.toString(), formatShortRelativeDateTime(session.manifest.createdAt),
                             detail(session), session.manifest.createdAt});
    }
    return summaries;
}

void LocalSessionLibrary::deleteSession(const std::string& id) const {
    const auto uuid = Uuid::parse(id);
    if (!uuid) return;
    // Folders are named by the canonical upper-case text only, so text in either case finds the
    // folder that loading and export use, never a look-alike in another case.
    for (const auto& root : {sessionsRoot_, exportsRoot_}) {
        const auto folder = root / uuid->toString();
        if (pathExists(folder)) trash_.moveToTrash(folder);
    }
}

std::string LocalSessionLibrary::identity(const RecoverableLocalSession& session) {
    const auto& manifest = session.manifest;
    if (manifest.sourceMediaFingerprint && !manifest.sourceMediaFingerprint->empty())
        return "source:" + *manifest.sourceMediaFingerprint;
    if (manifest.lastVideoPTSSeconds) {
        std::error_code error;
        const auto video = namedFile(session.directory, manifest.videoFile);
        const auto size = video ? std::filesystem::file_size(*video, error) : 0;
        if (video && !error) {
            const double seconds = std::max(0.0, *manifest.lastVideoPTSSeconds - manifest.firstVideoPTSSeconds.value_or(0));
            const double milliseconds = std::trunc(seconds * 1000);
            // A damaged manifest may hold times no integer can; clamp rather than overflow.
            const long long duration = milliseconds >= 9.2e18 || std::isnan(milliseconds) ? LLONG_MAX : static_cast<long long>(milliseconds);
            return "legacy:" + std::to_string(manifest.width) + "x" + std::to_string(manifest.height) + ":" +
                   std::to_string(size) + ":" + std::to_string(duration);
        }
    }
    return "session:" + manifest.id.toString();
}

std::string LocalSessionLibrary::detail(const RecoverableLocalSession& session) {
    if (session.feedbackCount) {
        const int feedback = *session.feedbackCount;
        if (session.exportDirectory && pathExists(*session.exportDirectory / kImplementationBriefMarkdownFileName))
            return std::to_string(feedback) + " changes ready to code";
        if (session.unfinishedAnalysisCount < 1) return feedback == 0 ? "Meeting understood" : "Ready to prepare";
        return std::to_string(feedback) + " ready \u00B7 " + std::to_string(session.unfinishedAnalysisCount) + " unfinished";
    }
    if (session.exportDirectory) return "Ready to analyze";
    if (session.candidateCount) return std::to_string(*session.candidateCount) + " evidence moments";
    if (session.transcriptSegmentCount) return std::to_string(*session.transcriptSegmentCount) + " transcript moments";
    return "Ready to understand";
}

}  // namespace quillmer
