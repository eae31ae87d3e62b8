// Message dispatch, replies and state pushes. The methods themselves live in the
// native_review_bridge_*.cpp files by subject.
#include "app/native_review_bridge.h"

#include "app/media_url_mapper.h"

#include "app/native_bridge_error.h"
#include "app/review_bundle_payload.h"
#include "app/review_state_snapshot.h"
#include "analysis/remote_analysis_plan.h"
#include "app/updates/update_checker.h"
#include "core/uuid.h"
#include "core/version.h"

namespace quillmer {

void settleFailures(BridgeReply& reply, const std::function<void()>& step) {
    try {
        step();
    } catch (const std::exception& error) {
        reply.fail(error.what());
    }
}

NativeReviewBridge::NativeReviewBridge(NativeReviewBridgeDependencies dependencies)
    : dependencies_(std::move(dependencies)),
      capture_(dependencies_.capture),
      consentStore_(dependencies_.defaults),
      ownUpdates_(dependencies_.updates ? nullptr
                                        : std::make_unique<UpdateChecker>(UpdateCheckerDependencies{
                                              dependencies_.defaults, {}, quillmerVersion(), nullptr, nullptr, {}})),
      updates_(dependencies_.updates ? dependencies_.updates : ownUpdates_.get()) {
    captureObserver_ = capture_.addObserver([this] { pushState(); });
    checkForUpdates();
}

NativeReviewBridge::~NativeReviewBridge() { capture_.removeObserver(captureObserver_); }

const std::map<std::string, NativeReviewBridge::Handler>& NativeReviewBridge::handlers() {
    using B = NativeReviewBridge;
    static const std::map<std::string, Handler> table = {
        {"capture.state", &B::captureState},
        {"capture.restore", &B::captureRestore},
        {"capture.deleteSession", &B::captureDeleteSession},
        {"capture.newSession", &B::captureNewSession},
        {"capture.importRecording", &B::captureImportRecording},
        {"capture.importTranscript", &B::captureImportTranscript},
        {"capture.sources", &B::captureSources},
        {"capture.start", &B::captureStart},
        {"capture.stop", &B::captureStop},
        {"capture.process", &B::captureProcess},
        {"capture.cancel", &B::captureCancel},
        {"capture.retry", &B::captureRetry},
        {"analysis.plan", &B::analysisPlan},
        {"analysis.approve", &B::analysisApprove},
        {"analysis.decline", &B::analysisDecline},
        {"consent.acknowledgeDisclosure", &B::consentAcknowledgeDisclosure},
        {"consent.setStandingRecordingConsent", &B::consentSetStandingRecordingConsent},
        {"evidence.open", &B::evidenceOpen},
        {"text.copy", &B::textCopy},
        {"diagnostics.export", &B::diagnosticsExport},
        {"updates.openDownload", &B::updatesOpenDownload},
        {"updates.setEnabled", &B::updatesSetEnabled},
        // Named here so the page learns they are not available yet, not that they do not exist.
        {"capture.connectCloud", &B::unsupported},
        {"capture.syncCloud", &B::unsupported},
        {"consent.setRemoteTranscription", &B::unsupported},
        {"integrations.status", &B::unsupported},
        {"integrations.install", &B::unsupported},
        {"review.save", &B::unsupported},
        {"review.createHandoff", &B::unsupported},
        {"review.copyHandoff", &B::unsupported},
        {"summary.refresh", &B::unsupported},
    };
    return table;
}

void NativeReviewBridge::handleMessage(const Json& body) {
    if (!body.is_object()) return;
    const auto id = body.find("id");
    const auto method = body.find("method");
    if (id == body.end() || !id->is_string() || method == body.end() || !method->is_string()) return;
    const auto argsIt = body.find("args");
    const Json args = argsIt != body.end() && argsIt->is_array() ? *argsIt : Json::array();

    const auto reply = std::make_shared<BridgeReply>(id->get<std::string>(), page_);
    const auto& table = handlers();
    const auto handler = table.find(method->get<std::string>());
    const Handler run = handler == table.end() ? &NativeReviewBridge::unsupported : handler->second;
    settleFailures(*reply, [&] { (this->*run)(args, reply); });
}

void NativeReviewBridge::unsupported(const Json&, const Reply&) {
    throw NativeBridgeError(NativeBridgeErrorCase::unsupportedOperation);
}

Json NativeReviewBridge::stateSnapshot() const {
    SnapshotExtras extras{consentStore_.disclosureJSON(), consentStore_.recordingConsentJSON(), updates_->stateJSON()};
    if (const auto& session = capture_.state().lastSessionDirectory) {
        const std::string id = session->filename().string();
        extras.remoteAnalysisApproved = analysisAuthorizer_.decision(id);
        for (const auto pass : analysisAuthorizer_.approvedPasses(id))
            extras.remoteAnalysisApprovedPasses.push_back(remoteAnalysisPassName(pass));
    }
    return makeStateSnapshot(capture_.state(), extras);
}

void NativeReviewBridge::updatesOpenDownload(const Json&, const Reply& reply) {
    updates_->openDownload();
    reply->succeed(stateSnapshot());
}

void NativeReviewBridge::updatesSetEnabled(const Json& args, const Reply& reply) {
    if (args.empty() || !args[0].is_boolean()) throw NativeBridgeError(NativeBridgeErrorCase::invalidUpdateSetting);
    updates_->setEnabled(args[0].get<bool>());
    reply->succeed(stateSnapshot());
    checkForUpdates();
}

// At most one request a day; the page sees the result in the next snapshot.
void NativeReviewBridge::checkForUpdates() {
    updates_->check([life = std::weak_ptr<int>(alive_), this] {
        if (life.lock()) pushState();
    });
}

void NativeReviewBridge::pushState() {
    const auto page = page_.lock();
    if (!page) return;
    page->deliverState(encodeCompactJSON(stateSnapshot()));
}

void NativeReviewBridge::requireNoEngineError() const {
    if (const auto& message = capture_.state().errorMessage) throw NativeBridgeError::captureFailure(*message);
}

Json NativeReviewBridge::handOutBundle(const std::filesystem::path& exportFolder) {
    const std::string id = Uuid::random().toString();
    Json payload = makeBundlePayload(id, exportFolder, dependencies_.renderer, dependencies_.sessionsRoot());
    if (dependencies_.media && payload.contains("mediaURL"))
        payload["mediaURL"] = dependencies_.media->pageURL(payload["mediaURL"].get<std::string>());
    openBundles_[id] = exportFolder;
    return payload;
}

std::optional<std::filesystem::path> NativeReviewBridge::chooseFileToOpen(const Json& args, const std::string& title,
                                                                         const std::vector<std::string>& extensions) {
    if (dependencies_.acceptsPathArguments && !args.empty() && args[0].is_string())
        return std::filesystem::path(args[0].get<std::string>());
    return dependencies_.host.chooseFileToOpen(title, extensions);
}

CaptureEngine::Completion NativeReviewBridge::then(const Reply& reply, std::function<void()> step) {
    return [life = std::weak_ptr<int>(alive_), reply, step = std::move(step)] {
        if (!life.lock()) return;
        settleFailures(*reply, step);
    };
}

}  // namespace quillmer
