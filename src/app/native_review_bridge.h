#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/bridge_message.h"
#include "app/bridge_reply.h"
#include "app/review_page_channel.h"
#include "app/review_renderer_scheme.h"
#include "analysis/remote_analysis_authorizer.h"
#include "engine/capture_engine.h"
#include "consent/consent_store.h"
#include "consent/remote_transcription_consent.h"
#include "core/json.h"
#include "core/main_queue.h"
#include "core/worker_threads.h"
#include "platform/user_defaults.h"
#include "review/coding_agent_connector.h"

namespace quillmer {

class MediaURLMapper;
class UpdateChecker;

struct NativeReviewBridgeDependencies {
    CaptureEngine& capture;
    ReviewRendererScheme& renderer;
    UserDefaults& defaults;
    ReviewHostServices& host;
    // Where session folders live (the session video of a bundle is found there).
    std::function<std::filesystem::path()> sessionsRoot;
    // A host without native dialogs (the browser transport) takes a file path as the first
    // argument of "capture.importRecording", "capture.importTranscript", "evidence.open" and
    // "diagnostics.export" instead of showing a panel.
    bool acceptsPathArguments = false;
    // Where the page plays a session video from (the desktop view cannot play its private scheme);
    // none: the scheme URL as it is.
    const MediaURLMapper* media = nullptr;
    // The release-feed checker (it outlives the bridge); none: one with no feed, which only keeps
    // the user's choice.
    UpdateChecker* updates = nullptr;
    // The coding agents' connector; none: the agents' real tools, the located quillmer-mcp and
    // the Exports root.
    std::optional<CodingAgentConnector> codingAgents = std::nullopt;
    // The main thread's queue. With it, calls that wait on other programs (the coding agents'
    // tools) run on a worker thread and reply from the main thread; without it they block the caller.
    MainQueue* mainQueue = nullptr;
    // What remote transcription could use; none: this process's, read once when the bridge starts.
    std::optional<RemoteTranscriptionEnvironment> transcriptionEnvironment = std::nullopt;
};

// The only channel between the review page and the native side: the page sends
// {id, method, args}; every well-formed message gets exactly one reply through the attached page,
// and every engine change pushes one state snapshot. Transport-free; lives on the main thread.
class NativeReviewBridge {
public:
    explicit NativeReviewBridge(NativeReviewBridgeDependencies dependencies);
    ~NativeReviewBridge();
    NativeReviewBridge(const NativeReviewBridge&) = delete;
    NativeReviewBridge& operator=(const NativeReviewBridge&) = delete;

    // Replies and pushes go to this page while it exists.
    void attachPage(std::weak_ptr<ReviewPageChannel> page) { page_ = std::move(page); }

    // A message that is not an object, or lacks a string id or method, is ignored.
    void handleMessage(const Json& body);
    void handleCall(const BridgeCall& call);

    Json stateSnapshot() const;

    // Bundle id → export folder, for every bundle handed to the page in this run.
    const std::map<std::string, std::filesystem::path>& openBundles() const { return openBundles_; }

private:
    using Reply = std::shared_ptr<BridgeReply>;
    using Handler = void (NativeReviewBridge::*)(const Json& args, const Reply& reply);
    // A method: its handler, the arguments it takes, and how it refuses arguments of another shape
    // (throws the method's own error). Handlers run only with arguments that fit.
    struct Method {
        Handler run;
        std::vector<Parameter> parameters = {};
        void (*refuse)() = nullptr;
    };
    struct ProcessingTask;

    static const std::map<std::string, Method>& methods();

    // capture.*
    void captureState(const Json& args, const Reply& reply);
    void captureRestore(const Json& args, const Reply& reply);
    void captureDeleteSession(const Json& args, const Reply& reply);
    void captureNewSession(const Json& args, const Reply& reply);
    void captureConnectCloud(const Json& args, const Reply& reply);
    void captureSyncCloud(const Json& args, const Reply& reply);
    void captureImportRecording(const Json& args, const Reply& reply);
    void captureImportTranscript(const Json& args, const Reply& reply);
    void captureSources(const Json& args, const Reply& reply);
    void captureStart(const Json& args, const Reply& reply);
    void captureStop(const Json& args, const Reply& reply);
    void captureProcess(const Json& args, const Reply& reply);
    void captureCancel(const Json& args, const Reply& reply);
    void captureRetry(const Json& args, const Reply& reply);
    void summaryRefresh(const Json& args, const Reply& reply);
    // analysis.*
    void analysisPlan(const Json& args, const Reply& reply);
    void analysisApprove(const Json& args, const Reply& reply);
    void analysisDecline(const Json& args, const Reply& reply);
    // consent.*, evidence, clipboard, diagnostics
    void consentAcknowledgeDisclosure(const Json& args, const Reply& reply);
    void consentSetStandingRecordingConsent(const Json& args, const Reply& reply);
    void consentSetRemoteTranscription(const Json& args, const Reply& reply);
    void evidenceOpen(const Json& args, const Reply& reply);
    void textCopy(const Json& args, const Reply& reply);
    // review.*
    void reviewSave(const Json& args, const Reply& reply);
    void reviewCreateHandoff(const Json& args, const Reply& reply);
    void reviewCopyHandoff(const Json& args, const Reply& reply);
    std::filesystem::path openBundleFolder(const Json& args) const;  // bundleNotOpen when unknown
    std::filesystem::path saveReview(const Json& args);
    void diagnosticsExport(const Json& args, const Reply& reply);
    void updatesOpenDownload(const Json& args, const Reply& reply);
    void updatesSetEnabled(const Json& args, const Reply& reply);
    // integrations.*
    void integrationsStatus(const Json& args, const Reply& reply);
    void integrationsInstall(const Json& args, const Reply& reply);
    CodingAgentConnector codingAgents() const;
    void answerOffMain(const Reply& reply, std::function<Json()> work);
    // Everything whose work this build does not include.
    void unsupported(const Json& args, const Reply& reply);

    // Runs the missing local stages as the processing task, then `step` unless they failed or
    // were cancelled.
    void afterLocalStages(const Reply& reply, std::function<void(const std::shared_ptr<ProcessingTask>&)> step);
    void finishProcessing(const std::shared_ptr<ProcessingTask>& task);
    // The current session's id, or missingSession.
    std::string currentSessionID() const;

    // Fails with captureFailure when the engine reports an error.
    void requireNoEngineError() const;
    // Hands the export folder to the page under a fresh bundle id.
    Json handOutBundle(const std::filesystem::path& exportFolder);
    // The file a path argument names (browser host) or the person picks. A path must be absolute
    // and name a regular file, checked without opening it, so a device or pipe never reaches a reader.
    std::optional<std::filesystem::path> chooseFileToOpen(const Json& args, const std::string& title,
                                                          const std::vector<std::string>& extensions);
    // The absolute path argument, when this host takes one and the call gave it.
    std::optional<std::filesystem::path> pathArgument(const Json& args) const;
    // An engine completion that runs `step` on the main thread while the bridge exists; a failure
    // `step` throws rejects the call.
    CaptureEngine::Completion then(const Reply& reply, std::function<void()> step);
    void pushState();
    void checkForUpdates();

    NativeReviewBridgeDependencies dependencies_;
    CaptureEngine& capture_;
    ConsentStore consentStore_;
    RemoteTranscriptionEnvironment transcriptionEnvironment_;
    RemoteAnalysisAuthorizer analysisAuthorizer_;
    std::unique_ptr<UpdateChecker> ownUpdates_;
    UpdateChecker* updates_;
    std::weak_ptr<ReviewPageChannel> page_;
    std::map<std::string, std::filesystem::path> openBundles_;
    CaptureEngine::ObserverID captureObserver_ = 0;
    std::shared_ptr<ProcessingTask> processingTask_;
    // Engine completions hold this weakly and do nothing once the bridge is gone.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
    // Last, so it is destroyed first: its threads are joined while everything they touch exists.
    WorkerThreads workers_;
};

// Runs `step`, rejecting the call with the text of anything it throws.
void settleFailures(BridgeReply& reply, const std::function<void()>& step);

}  // namespace quillmer
