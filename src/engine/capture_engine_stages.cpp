// The processing stages of the current session, each run through one pattern: require the
// session, refuse while busy, raise the flag, work off the main thread, publish, lower the flag.
#include "engine/capture_engine.h"

#include "capture/session_progress_files.h"
#include "core/error.h"
#include "engine/meeting_summary_stage.h"

namespace quillmer {

namespace {

void finishNow(const CaptureEngine::Completion& done) {
    if (done) done();
}

// nullopt for a cancellation, which is reported silently.
std::optional<std::string> describeFailure(std::exception_ptr failure, bool stopRequested) {
    try {
        std::rethrow_exception(failure);
    } catch (const CancellationError&) {
        return std::nullopt;
    } catch (const std::exception& error) {
        if (stopRequested) return std::nullopt;
        return std::string(error.what());
    } catch (...) {
        if (stopRequested) return std::nullopt;
        return std::string("An unknown error occurred.");
    }
}

}  // namespace

void CaptureEngine::runStage(Stage stage, Completion done) {
    if (state_.isBusy()) return finishNow(done);
    const bool transcription = stage.flag == &CaptureEngineState::isTranscribing;
    update([&](CaptureEngineState& s) {
        s.*stage.flag = true;
        s.errorMessage.reset();
        if (transcription) s.transcriptionProgress.reset();
    });

    auto publish = std::make_shared<PublishStep>();
    stageStop_ = runOffMain([work = stage.work, publish](std::stop_token stop) { *publish = work(stop); },
                            [this, stage, transcription, publish, done](std::exception_ptr failure) {
                                const bool stopRequested = stageStop_ && stageStop_->stop_requested();
                                stageStop_.reset();
                                lastStageStopped_ = stopRequested;
                                if (!failure) {
                                    (*publish)();
                                    refreshRecentSessions();
                                } else {
                                    const auto description = describeFailure(failure, stopRequested);
                                    update([&](CaptureEngineState& s) {
                                        if (description) s.errorMessage = stage.errorPrefix + *description;
                                        else s.errorMessage.reset();
                                    });
                                }
                                update([&](CaptureEngineState& s) {
                                    s.*stage.flag = false;
                                    if (transcription) s.transcriptionProgress.reset();
                                });
                                finishNow(done);
                            });
}

void CaptureEngine::cancelStage() {
    if (stageStop_) stageStop_->request_stop();
}

// Whoever produced it, a new transcript discarded on disk what the old one made (replaceTranscript),
// so everything downstream is forgotten here too and made again by the next processing run.
void CaptureEngine::publishNewTranscript(int segments) {
    update([&](CaptureEngineState& s) {
        s.clearProcessingResults();
        s.transcriptSegmentCount = segments;
    });
}

void CaptureEngine::transcribe(Completion done) {
    if (!state_.lastSessionDirectory) return finishNow(done);
    const auto folder = *state_.lastSessionDirectory;
    runStage({&CaptureEngineState::isTranscribing, "Transcription could not complete: ",
              [this, folder, work = dependencies_.stages.transcribe](std::stop_token stop) -> PublishStep {
                  const auto progress = [this](const TranscriptionProgress& reported) {
                      postToMain([this, reported] {
                          if (!state_.isTranscribing) return;
                          update([&](CaptureEngineState& s) { s.transcriptionProgress = reported; });
                      });
                  };
                  const int segments = work(folder, progress, stop);
                  return [this, segments] { publishNewTranscript(segments); };
              }},
             std::move(done));
}

void CaptureEngine::extractEvidence(Completion done) {
    if (!state_.lastSessionDirectory) return finishNow(done);
    const auto folder = *state_.lastSessionDirectory;
    runStage({&CaptureEngineState::isExtractingEvidence, "Evidence extraction could not complete: ",
              [this, folder, work = dependencies_.stages.extractEvidence](std::stop_token stop) -> PublishStep {
                  const int candidates = work(folder, stop);
                  return [this, candidates] {
                      update([&](CaptureEngineState& s) { s.candidateCount = candidates; });
                  };
              }},
             std::move(done));
}

void CaptureEngine::exportEvidence(Completion done) {
    if (!state_.lastSessionDirectory) return finishNow(done);
    const auto folder = *state_.lastSessionDirectory;
    runStage({&CaptureEngineState::isExporting, "Evidence export could not complete: ",
              [this, folder, work = dependencies_.stages.exportEvidence](std::stop_token stop) -> PublishStep {
                  auto exportFolder = work(folder, stop);
                  return [this, exportFolder] {
                      update([&](CaptureEngineState& s) { s.lastExportDirectory = exportFolder; });
                  };
              }},
             std::move(done));
}

void CaptureEngine::publishAnalysis(const AnalysisOutcome& outcome) {
    update([&](CaptureEngineState& s) {
        s.feedbackCount = outcome.feedbackCount;
        s.unfinishedAnalysisCount = outcome.unfinishedAnalysisCount;
        s.reviewFeedback = outcome.reviewFeedback;
        s.includedFeedbackIDs = outcome.includedFeedbackIDs;
        if (outcome.implementationBriefURL) s.implementationBriefURL = outcome.implementationBriefURL;
    });
}

void CaptureEngine::analyze(const RemoteAnalysisPasses& approved, Completion done) {
    auto connection = dependencies_.analysis();
    const auto passes = connection.passesToRun(approved);
    if (!state_.lastExportDirectory || !passes.contains(RemoteAnalysisPass::evidence)) return finishNow(done);
    const auto exportFolder = *state_.lastExportDirectory;
    runStage({&CaptureEngineState::isAnalyzing, "Evidence analysis could not complete: ",
              [this, exportFolder, passes, connection = std::move(connection),
               work = dependencies_.stages.analyze](std::stop_token stop) -> PublishStep {
                  auto outcome = work(connection, exportFolder, passes, stop);
                  return [this, outcome] { publishAnalysis(outcome); };
              }},
             rereadingUnfinishedAnalyses(exportFolder, std::move(done)));
}

void CaptureEngine::retryAnalysis(const RemoteAnalysisPasses& approved, Completion done) {
    auto connection = dependencies_.analysis();
    const auto passes = connection.passesToRun(approved);
    if (!state_.lastExportDirectory || state_.unfinishedAnalysisCount <= 0 ||
        !passes.contains(RemoteAnalysisPass::evidence))
        return finishNow(done);
    const auto exportFolder = *state_.lastExportDirectory;
    runStage({&CaptureEngineState::isAnalyzing, "Retry could not complete: ",
              [this, exportFolder, passes, connection = std::move(connection),
               work = dependencies_.stages.retryAnalysis](std::stop_token stop) -> PublishStep {
                  auto outcome = work(connection, exportFolder, passes, stop);
                  return [this, outcome] { publishAnalysis(outcome); };
              }},
             rereadingUnfinishedAnalyses(exportFolder, std::move(done)));
}

void CaptureEngine::summarize(const RemoteAnalysisPasses& passes, Completion done) {
    if (!state_.lastExportDirectory) return finishNow(done);
    runStage({&CaptureEngineState::isAnalyzing, "The meeting summary could not be written: ",
              [exportFolder = *state_.lastExportDirectory, passes,
               connection = dependencies_.analysis()](std::stop_token stop) -> PublishStep {
                  ensureSummary(connection, exportFolder, passes, stop);
                  return [] {};
              }},
             std::move(done));
}

// A run where every candidate failed still wrote its diagnostics, and a retry needs to see them.
CaptureEngine::Completion CaptureEngine::rereadingUnfinishedAnalyses(std::filesystem::path exportFolder,
                                                                    Completion done) {
    return [this, exportFolder = std::move(exportFolder), done = std::move(done)] {
        if (state_.errorMessage && state_.lastExportDirectory == exportFolder)
            if (const auto count = readAnalysisDiagnosticCount(exportFolder / kAnalysisDiagnosticsFileName))
                update([&](CaptureEngineState& s) { s.unfinishedAnalysisCount = *count; });
        finishNow(done);
    };
}

RemoteAnalysisPasses CaptureEngine::analysisPassesToRun(const RemoteAnalysisPasses& approved) const {
    return dependencies_.analysis().passesToRun(approved);
}

RemoteAnalysisPlan CaptureEngine::analysisPlan() const {
    const auto& session = state_.lastSessionDirectory;
    const auto& exportFolder = state_.lastExportDirectory;
    std::string id = session ? session->filename().string() : exportFolder ? exportFolder->filename().string() : "";
    return planRemoteAnalysis(id, session, exportFolder, dependencies_.analysis().route);
}

// Refused while any stage runs, not only another import: a stage finishing after the import
// would publish its result onto the newly imported session.
void CaptureEngine::importRecording(const std::filesystem::path& recording, Completion done) {
    if (state_.isCapturing) return finishNow(done);
    runStage({&CaptureEngineState::isImporting, "Recording import could not complete: ",
              [this, recording, work = dependencies_.stages.importRecording](std::stop_token stop) -> PublishStep {
                  auto folder = work(recording, stop);
                  return [this, folder] {
                      update([&](CaptureEngineState& s) {
                          s.lastSessionDirectory = folder;
                          s.clearProcessingResults();
                      });
                  };
              }},
             std::move(done));
}

// Refused while any stage runs: a transcription finishing later would overwrite the import.
void CaptureEngine::importTranscript(const std::filesystem::path& transcript, Completion done) {
    if (!state_.lastSessionDirectory || state_.isCapturing) return finishNow(done);
    const auto folder = *state_.lastSessionDirectory;
    runStage({&CaptureEngineState::isImportingTranscript, "Transcript import could not complete: ",
              [this, folder, transcript, work = dependencies_.stages.importTranscript](std::stop_token stop) -> PublishStep {
                  const int segments = work(folder, transcript, stop);
                  return [this, segments] { publishNewTranscript(segments); };
              }},
             std::move(done));
}

}  // namespace quillmer
