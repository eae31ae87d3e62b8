#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <stop_token>
#include <string>
#include <vector>

#include "analysis/remote_analysis_pass.h"
#include "engine/analysis_connection.h"
#include "review/feedback_review_moment.h"
#include "transcription/local_transcript.h"

namespace quillmer {

// Called from the transcription's worker thread.
using TranscriptionProgressHandler = std::function<void(const TranscriptionProgress&)>;

// What an analysis or retry run leaves for the engine to publish.
struct AnalysisOutcome {
    int feedbackCount = 0;
    int unfinishedAnalysisCount = 0;
    std::vector<FeedbackReviewMoment> reviewFeedback;
    std::set<std::string> includedFeedbackIDs;
    std::optional<std::filesystem::path> implementationBriefURL;
};

// The heavy work of each processing stage. Each function runs on a worker thread, reads and writes
// files only, throws quillmer::Error on failure and CancellationError once the token asks it to stop.
// The engine wraps each in the stage pattern (busy rule, flag, error prefix, publishing).
struct ProcessingStages {
    // Returns the transcript's segment count.
    std::function<int(const std::filesystem::path& sessionFolder, const TranscriptionProgressHandler& progress,
                      std::stop_token stop)>
        transcribe;
    // Returns the evidence candidate count.
    std::function<int(const std::filesystem::path& sessionFolder, std::stop_token stop)> extractEvidence;
    // Returns the export folder.
    std::function<std::filesystem::path(const std::filesystem::path& sessionFolder, std::stop_token stop)>
        exportEvidence;
    // Analyses the first candidates of the export (as many as the approval plan discloses).
    std::function<AnalysisOutcome(const AnalysisConnection& connection, const std::filesystem::path& exportFolder,
                                  const RemoteAnalysisPasses& passes, std::stop_token stop)>
        analyze;
    // Re-analyses the candidates listed as unfinished and merges them into the report.
    std::function<AnalysisOutcome(const AnalysisConnection& connection, const std::filesystem::path& exportFolder,
                                  const RemoteAnalysisPasses& passes, std::stop_token stop)>
        retryAnalysis;
    // Returns the new session folder.
    std::function<std::filesystem::path(const std::filesystem::path& recording, std::stop_token stop)> importRecording;
    // Returns the imported transcript's segment count.
    std::function<int(const std::filesystem::path& sessionFolder, const std::filesystem::path& transcript,
                      std::stop_token stop)>
        importTranscript;
};

// Every stage failing with NotAvailableError: the base a build (or a test) fills in.
ProcessingStages unavailableProcessingStages();

// The stages this build can run, on the real media services. A stage whose work has not been built
// yet fails with NotAvailableError.
ProcessingStages availableProcessingStages();

}  // namespace quillmer
