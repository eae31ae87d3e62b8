// The current session: restore a stored one, start afresh, delete, list the recent ones.
#include "capture/capture_engine.h"

#include <algorithm>
#include <cctype>

#include "core/error.h"

namespace quillmer {

namespace {

inline constexpr int kRecentSessionLimit = 5;

bool equalsIgnoringCase(const std::string& a, const std::string& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](unsigned char x, unsigned char y) {
        return std::tolower(x) == std::tolower(y);
    });
}

}  // namespace

std::optional<LocalSessionLibrary> CaptureEngine::sessionLibrary() const {
    try {
        return LocalSessionLibrary(dependencies_.trash, dependencies_.sessionsRoot(), dependencies_.exportsRoot());
    } catch (const Error&) {
        return std::nullopt;
    }
}

void CaptureEngine::refreshRecentSessions() {
    const auto library = sessionLibrary();
    auto recent = library ? library->recentSessions(kRecentSessionLimit) : std::vector<LocalSessionSummary>{};
    update([&](CaptureEngineState& s) { s.recentSessions = std::move(recent); });
}

void CaptureEngine::restoreSession(const std::string& id) {
    if (state_.isCapturing || state_.isBusy()) return;
    const auto library = sessionLibrary();
    const auto session = library ? library->session(id) : std::nullopt;
    if (!session) return;
    std::optional<std::filesystem::path> brief;
    if (session->exportDirectory) {
        const auto file = *session->exportDirectory / "implementation-brief.md";
        std::error_code ignored;
        if (std::filesystem::exists(file, ignored)) brief = file;
    }
    update([&](CaptureEngineState& s) {
        // Nothing of the previous session's review may survive into this one.
        s.clearProcessingResults();
        s.lastSessionDirectory = session->directory;
        s.lastExportDirectory = session->exportDirectory;
        s.transcriptSegmentCount = session->transcriptSegmentCount;
        s.candidateCount = session->candidateCount;
        s.feedbackCount = session->feedbackCount;
        s.unfinishedAnalysisCount = session->unfinishedAnalysisCount;
        s.errorMessage.reset();
        s.implementationBriefURL = brief;
    });
}

void CaptureEngine::newSession() {
    if (state_.isCapturing || state_.isBusy()) return;
    update([](CaptureEngineState& s) {
        s.lastSessionDirectory.reset();
        s.clearProcessingResults();
        s.errorMessage.reset();
    });
}

void CaptureEngine::deleteSession(const std::string& id) {
    if (state_.isCapturing || state_.isBusy()) return;
    bool deleted = false;
    try {
        auto library = sessionLibrary();
        if (!library) throw FileSystemError("The Sessions folder is not available.");
        library->deleteSession(id);
        deleted = true;
    } catch (const std::exception& error) {
        update([&](CaptureEngineState& s) {
            s.errorMessage = std::string("This meeting could not be deleted: ") + error.what();
        });
    }
    if (deleted && state_.lastSessionDirectory &&
        equalsIgnoringCase(id, state_.lastSessionDirectory->filename().string()))
        newSession();
    refreshRecentSessions();
}

}  // namespace quillmer
