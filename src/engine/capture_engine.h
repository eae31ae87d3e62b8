#pragma once

#include <exception>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "analysis/remote_analysis_pass.h"
#include "engine/capturable_display.h"
#include "engine/cloud_sync_connection.h"
#include "cloud/zoom_connection.h"
#include "engine/capture_engine_state.h"
#include "capture/local_session_library.h"
#include "capture/local_session_recorder.h"
#include "consent/consent_store.h"
#include "engine/processing_stages.h"
#include "core/main_queue.h"
#include "core/worker_threads.h"
#include "platform/capture_service.h"
#include "platform/media_writer.h"
#include "platform/trash.h"
#include "platform/process_runner.h"

namespace quillmer {

struct CaptureEngineDependencies {
    CaptureService& capture;
    MediaWriterFactory& writers;
    ProcessRunner& processes;
    Trash& trash;
    MainQueue& mainQueue;
    // Resolved on every use (the roots are created on demand); may throw FileSystemError.
    std::function<std::filesystem::path()> sessionsRoot;
    std::function<std::filesystem::path()> exportsRoot;
    ProcessingStages stages = availableProcessingStages();
    // Asked each time a plan is made or an analysis stage starts, so a route that changes (a key
    // installed, an account connected) is seen by the next one.
    std::function<AnalysisConnection()> analysis = configuredAnalysisConnection;
    // The relay for cloud meetings, asked off the main thread on every round (Zoom may have been
    // connected since); nothing: cloud sync is not configured.
    std::function<std::optional<CloudRelayAccess>()> cloudRelay = configuredCloudRelay;
    // Connecting Zoom from this engine; none: connecting is unavailable here.
    std::shared_ptr<ZoomConnection> zoom = nullptr;
    // A sync round every 30 seconds while the engine lives, unless QUILLMER_DISABLE_CLOUD_SYNC=1.
    bool periodicCloudSync = false;
};

// The one long-lived owner of the current meeting: lists displays, records a capture into a
// session folder, and runs the processing stages over the current session.
//
// Threading: construct, call and destroy it on the main thread (the thread that runs the tasks
// posted to its MainQueue); its state changes only there. The stream delegates its samples on the
// sample queue; heavy work (recorder finish, stages) runs on worker threads and publishes back
// through the MainQueue. Operations that wait for such work take a completion, called on the main
// thread when the operation has finished — immediately, before the call returns, when it does
// nothing.
class CaptureEngine final : private CaptureStreamDelegate {
public:
    using Completion = std::function<void()>;
    using ObserverID = int;

    explicit CaptureEngine(CaptureEngineDependencies dependencies);
    // A capture still running is stopped and its recording finished, so it is kept on disk.
    ~CaptureEngine() override;
    CaptureEngine(const CaptureEngine&) = delete;
    CaptureEngine& operator=(const CaptureEngine&) = delete;

    const CaptureEngineState& state() const { return state_; }

    // Called on the main thread after every change of state().
    ObserverID addObserver(std::function<void()> observer);
    void removeObserver(ObserverID id);

    // ---- Capture --------------------------------------------------------------------------
    void refreshDisplays();
    // Synchronous: short, and no other start or stop can interleave with it. `consent` is the
    // operator's affirmation for this capture; its "consent.json" is written into this capture's
    // folder when the capture ends, however it ends (stop, stream failure, the engine going away).
    void startCapture(const CapturableDisplay& display,
                      std::optional<RecordingConsentAffirmation> consent = std::nullopt);
    void stopCapture(Completion done = {});

    // ---- Stages ---------------------------------------------------------------------------
    void transcribe(Completion done = {});
    void extractEvidence(Completion done = {});
    void exportEvidence(Completion done = {});
    void analyze(const RemoteAnalysisPasses& passes, Completion done = {});
    void retryAnalysis(const RemoteAnalysisPasses& passes, Completion done = {});
    // Writes the export's meeting summary: the model's when the summary pass is approved, else the
    // rule-based one. Never fails the run; a model failure is recorded beside the summary.
    void summarize(const RemoteAnalysisPasses& passes, Completion done = {});
    // What analysis of the current session would send and to whom; reads its files, sends nothing.
    RemoteAnalysisPlan analysisPlan() const;
    // The passes a run with these approvals carries out: on this computer every pass needs none.
    RemoteAnalysisPasses analysisPassesToRun(const RemoteAnalysisPasses& approved) const;
    void importRecording(const std::filesystem::path& recording, Completion done = {});
    void importTranscript(const std::filesystem::path& transcript, Completion done = {});
    // Asks the running stage to stop; it then ends without an error message.
    void cancelStage();
    // Whether the last stage to end had been asked to stop. A stage can finish its work before it
    // notices and publish its result; a run of several stages still ends there.
    bool lastStageWasStopped() const { return lastStageStopped_; }

    // ---- Sessions -------------------------------------------------------------------------
    void restoreSession(const std::string& id);
    void newSession();
    void deleteSession(const std::string& id);
    void refreshRecentSessions();
    // Makes the export folder holding `evidenceFile` ("evidence.json") the current export, with
    // the session it was made from when that is still in the library.
    void openEvidenceBrief(const std::filesystem::path& evidenceFile);
    // Forgets the last failure, so a new run is not shown as failed before it starts.
    void clearErrorMessage();
    // Publishes a fresh capturePromptID: the page opens its capture start flow when it changes.
    void requestCapturePrompt();

    // ---- Cloud meetings -------------------------------------------------------------------
    // One round at a time; a call while one runs only adds `done` to it.
    void syncCloudSessions(Completion done = {});
    // Opens Zoom sign-in in the browser. Throws ZoomCloudConnectionError.
    void connectCloud();
    // A quillmer:// link handed to the application: exchanges its ticket off the main thread, then
    // syncs. A refused link is published as the cloud sync error.
    void handleCloudCallback(const std::string& url, Completion done = {});

private:
    // One running capture's recorder with the affirmation given for it, so the two end together.
    struct Recording {
        std::unique_ptr<LocalSessionRecorder> recorder;
        std::optional<RecordingConsentAffirmation> consent;
    };
    struct RecorderBox {
        std::mutex lock;
        Recording recording;
    };
    // One stage run: its flag, its message prefix, and its work, which returns the step that
    // publishes the result on the main thread.
    using PublishStep = std::function<void()>;
    struct Stage {
        bool CaptureEngineState::*flag;
        const char* errorPrefix;
        std::function<PublishStep(std::stop_token)> work;
    };

    // CaptureStreamDelegate: sample queue and any thread.
    void streamDidOutputSample(const CaptureSample& sample) override;
    void streamDidStopWithError(const std::string& description) override;

    void update(const std::function<void(CaptureEngineState&)>& change);
    void postToMain(std::function<void()> task);
    // Runs `work` on a worker thread, then `then` with its failure (or null) on the main thread,
    // unless the engine is gone by then.
    std::stop_source runOffMain(std::function<void(std::stop_token)> work,
                                std::function<void(std::exception_ptr)> then);

    void finishCapture(std::unique_ptr<CaptureStream> stream, std::optional<std::string> failure);
    Recording takeRecording();
    static void discardEmptyCapture(std::unique_ptr<LocalSessionRecorder> recorder);
    void runStage(Stage stage, Completion done);
    void publishAnalysis(const AnalysisOutcome& outcome);
    // Whatever the run came to, the unfinished count follows the export's diagnostics file.
    Completion rereadingUnfinishedAnalyses(std::filesystem::path exportFolder, Completion done);
    void publishNewTranscript(int segments);
    std::optional<LocalSessionLibrary> sessionLibrary() const;
    void startPeriodicCloudSync();
    void deleteOnRelay(const std::string& sessionID);

    CaptureEngineDependencies dependencies_;
    CaptureEngineState state_;
    std::map<ObserverID, std::function<void()>> observers_;
    ObserverID nextObserverID_ = 1;

    std::unique_ptr<CaptureStream> stream_;
    RecorderBox recorderBox_;
    bool isStopping_ = false;
    std::vector<Completion> stopCompletions_;
    std::optional<std::stop_source> stageStop_;
    bool lastStageStopped_ = false;
    std::vector<Completion> cloudSyncCompletions_;

    // Posted tasks hold this weakly and do nothing once the engine is gone.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
    WorkerThreads workers_;
};

}  // namespace quillmer
