#pragma once

#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "engine/capturable_display.h"
#include "capture/local_session_library.h"
#include "core/iso8601.h"
#include "review/feedback_review_moment.h"
#include "transcription/local_transcript.h"

namespace quillmer {

// Shown for lastFrameTimestamp before the first screen sample of a capture: an em dash.
inline constexpr const char* kNoFrameTimestamp = "\u2014";

// Everything the engine publishes, in one value so an observer can take a consistent snapshot.
// An absent count means its stage has not run for the current session yet.
struct CaptureEngineState {
    std::vector<CapturableDisplay> displays;
    bool isCapturing = false;
    std::optional<Timestamp> captureStartedAt;
    std::optional<Timestamp> captureCompletedAt;
    int frameCount = 0;  // every valid screen sample delivered, including ones the writer dropped
    std::string lastFrameTimestamp = kNoFrameTimestamp;
    std::optional<std::string> errorMessage;
    std::optional<std::filesystem::path> lastSessionDirectory;
    std::optional<int> transcriptSegmentCount;
    bool isTranscribing = false;
    std::optional<TranscriptionProgress> transcriptionProgress;
    std::optional<int> candidateCount;
    bool isExtractingEvidence = false;
    std::optional<std::filesystem::path> lastExportDirectory;
    bool isExporting = false;
    std::optional<int> feedbackCount;
    int unfinishedAnalysisCount = 0;
    bool isAnalyzing = false;
    std::vector<FeedbackReviewMoment> reviewFeedback;
    bool isImporting = false;
    bool isImportingTranscript = false;
    std::set<std::string> includedFeedbackIDs;
    bool isGeneratingImplementationBrief = false;
    std::optional<std::filesystem::path> implementationBriefURL;
    std::vector<LocalSessionSummary> recentSessions;
    std::optional<std::string> capturePromptID;
    bool isSyncingCloudSessions = false;
    bool cloudSyncConfigured = false;
    bool cloudConnectAvailable = false;  // a relay is configured and this engine can connect Zoom
    std::optional<Timestamp> lastCloudSyncAt;
    int lastCloudImportCount = 0;
    std::optional<std::string> cloudSyncErrorMessage;

    // Any stage flag is set. Capturing and cloud sync do not count.
    bool isBusy() const {
        return isImporting || isImportingTranscript || isTranscribing || isExtractingEvidence || isExporting ||
               isAnalyzing || isGeneratingImplementationBrief;
    }

    // Forgets how far the current session was processed (the files stay on disk).
    void clearProcessingResults() {
        lastExportDirectory.reset();
        transcriptSegmentCount.reset();
        candidateCount.reset();
        feedbackCount.reset();
        implementationBriefURL.reset();
        unfinishedAnalysisCount = 0;
        reviewFeedback.clear();
        includedFeedbackIDs.clear();
    }

    bool operator==(const CaptureEngineState&) const = default;
};

}  // namespace quillmer
