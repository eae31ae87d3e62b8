#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/bridge_reply.h"
#include "app/review_page_channel.h"
#include "app/review_renderer_scheme.h"
#include "analysis/remote_analysis_authorizer.h"
#include "engine/capture_engine.h"
#include "consent/consent_store.h"
#include "core/json.h"
#include "platform/user_defaults.h"

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

    Json stateSnapshot() const;

    // Bundle id → export folder, for every bundle handed to the page in this run.
    const std::map<std::string, std::filesystem::path>& openBundles() const { return openBundles_; }

private:
    using Reply = std::shared_ptr<BridgeReply>;
    using Handler = void (NativeReviewBridge::*)(const Json& args, const Reply& reply);
    struct ProcessingTask;

    static const std::map<std::string, Handler>& handlers();

    // capture.*
    void captureState(const Json& args, const Reply& reply);
    void captureRestore(const Json& args, const Reply& reply);
    void captureDeleteSession(const Json& args, const Reply& reply);
    void captureNewSession(const Json& args, const Reply& reply);
    void captureImportRecording(const Json& args, const Reply& reply);
    void captureImportTranscript(const Json& args, const Reply& reply);
    void captureSources(const Json& args, const Reply& reply);
    void captureStart(const Json& args, const Reply& reply);
    void captureStop(const Json& args, const Reply& reply);
    void captureProcess(const Json& args, const Reply& reply);
    void captureCancel(const Json& args, const Reply& reply);
    void captureRetry(const Json& args, const Reply& reply);
    // analysis.*
    void analysisPlan(const Json& args, const Reply& reply);
    void analysisApprove(const Json& args, const Reply& reply);
    void analysisDecline(const Json& args, const Reply& reply);
    // consent.*, evidence, clipboard, diagnostics
    void consentAcknowledgeDisclosure(const Json& args, const Reply& reply);
    void consentSetStandingRecordingConsent(const Json& args, const Reply& reply);
    void evidenceOpen(const Json& args, const Reply& reply);
    void textCopy(const Json& args, const Reply& reply);
    void diagnosticsExport(const Json& args, const Reply& reply);
    void updatesOpenDownload(const Json& args, const Reply& reply);
    void updatesSetEnabled(const Json& args, const Reply& reply);
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
    std::optional<std::filesystem::path> chooseFileToOpen(const Json& args, const std::string& title,
                                                          const std::vector<std::string>& extensions);
    // An engine completion that runs `step` on the main thread while the bridge exists; a failure
    // `step` throws rejects the call.
    CaptureEngine::Completion then(const Reply& reply, std::function<void()> step);
    void pushState();
    void checkForUpdates();

    NativeReviewBridgeDependencies dependencies_;
    CaptureEngine& capture_;
    ConsentStore consentStore_;
    RemoteAnalysisAuthorizer analysisAuthorizer_;
    std::unique_ptr<UpdateChecker> ownUpdates_;
    UpdateChecker* updates_;
    std::weak_ptr<ReviewPageChannel> page_;
    std::map<std::string, std::filesystem::path> openBundles_;
    CaptureEngine::ObserverID captureObserver_ = 0;
    std::shared_ptr<ProcessingTask> processingTask_;
    // Engine completions hold this weakly and do nothing once the bridge is gone.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

// Runs `step`, rejecting the call with the text of anything it throws.
void settleFailures(BridgeReply& reply, const std::function<void()>& step);

}  // namespace quillmer
