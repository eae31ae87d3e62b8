// The current session: restore a stored one, start afresh, delete, list the recent ones.
#include "engine/capture_engine.h"

#include <algorithm>

#include "capture/session_progress_files.h"
#include "core/ascii_case.h"
#include "core/atomic_file.h"
#include "core/error.h"
#include "core/json.h"
#include "core/uuid.h"
#include "review/review_state.h"

namespace quillmer {

namespace {

inline constexpr int kRecentSessionLimit = 5;

}  // namespace

std::optional<LocalSessionLibrary> CaptureEngine::sessionLibrary() const {
    try {
        return LocalSessionLibrary(dependencies_.trash, dependencies_.sessionsRoot(), dependencies_.exportsRoot());
    } catch (const Error&) {
        return std::nullopt;
    }
}

namespace {

// The review list and the selection of an export that was analysed before; none when it was not
// (or its files cannot be read): the review page then shows the evidence alone.
void readPublishedReview(const std::optional<std::filesystem::path>& exportFolder, CaptureEngineState& s) {
    if (!exportFolder) return;
    try {
        s.reviewFeedback = loadReviewMoments(*exportFolder);
        s.includedFeedbackIDs = loadReviewState(*exportFolder).includedFeedbackIDs;
    } catch (const Error&) {
    }
}

}  // namespace

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
        readPublishedReview(s.lastExportDirectory, s);
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
        std::error_code ignored;
        const auto parsed = Uuid::parse(id);
        const bool fromCloud = parsed && std::filesystem::exists(
                                             dependencies_.sessionsRoot() / parsed->toString() / kCloudOriginFileName, ignored);
        library->deleteSession(id);
        if (fromCloud) deleteOnRelay(parsed->toString());
        deleted = true;
    } catch (const std::exception& error) {
        update([&](CaptureEngineState& s) {
            s.errorMessage = std::string("This meeting could not be deleted: ") + error.what();
        });
    }
    if (deleted && state_.lastSessionDirectory &&
        equalsIgnoringASCIICase(id, state_.lastSessionDirectory->filename().string()))
        newSession();
    refreshRecentSessions();
}

void CaptureEngine::clearErrorMessage() {
    update([](CaptureEngineState& s) { s.errorMessage.reset(); });
}

void CaptureEngine::requestCapturePrompt() {
    update([](CaptureEngineState& s) { s.capturePromptID = Uuid::random().toString(); });
}

void CaptureEngine::openEvidenceBrief(const std::filesystem::path& evidenceFile) {
    if (state_.isCapturing || state_.isBusy()) return;
    const auto fail = [this](const std::string& message) {
        update([&](CaptureEngineState& s) { s.errorMessage = message; });
    };
    if (evidenceFile.filename() != kEvidenceFileName) return fail("Choose the evidence.json file from an Quillmer export.");
    const auto folder = evidenceFile.parent_path();
    std::string sessionID;
    try {
        const Json document = parseJSON(readWholeFile(evidenceFile));
        const Json* session = document.is_object() && document.contains("session") ? &document["session"] : nullptr;
        if (!session || !session->is_object() || !session->contains("id") || !(*session)["id"].is_string())
            throw DecodingError("The evidence brief names no session.");
        sessionID = (*session)["id"].get<std::string>();
    } catch (const Error& error) {
        return fail(std::string("Evidence brief could not open: ") + error.what());
    }
    const auto library = sessionLibrary();
    const auto session = library ? library->session(sessionID) : std::nullopt;
    std::optional<std::filesystem::path> brief;
    std::error_code ignored;
    if (std::filesystem::exists(folder / kImplementationBriefMarkdownFileName, ignored))
        brief = folder / kImplementationBriefMarkdownFileName;
    update([&](CaptureEngineState& s) {
        s.clearProcessingResults();
        // An export copied from elsewhere has no session here; it is still reviewable.
        s.lastSessionDirectory = session ? std::optional(session->directory) : std::nullopt;
        s.transcriptSegmentCount = session ? session->transcriptSegmentCount : std::nullopt;
        s.candidateCount = session ? session->candidateCount : std::nullopt;
        s.lastExportDirectory = folder;
        s.feedbackCount = readFeedbackItemCount(folder / kFeedbackFileName);
        s.unfinishedAnalysisCount = readAnalysisDiagnosticCount(folder / kAnalysisDiagnosticsFileName).value_or(0);
        s.implementationBriefURL = brief;
        s.errorMessage.reset();
        readPublishedReview(folder, s);
    });
}

}  // namespace quillmer
