// Message dispatch, replies and state pushes. The methods themselves live in the
// native_review_bridge_*.cpp files by subject.
#include "app/native_review_bridge.h"

#include "app/media_url_mapper.h"

#include "app/native_bridge_error.h"
#include "app/review_bundle_payload.h"
#include "app/review_state_snapshot.h"
#include "core/uuid.h"

namespace quillmer {

void settleFailures(BridgeReply& reply, const std::function<void()>& step) {
    try {
        step();
    } catch (const std::exception& error) {
        reply.fail(error.what());
    }
}

NativeReviewBridge::NativeReviewBridge(NativeReviewBridgeDependencies dependencies)
    : dependencies_(std::move(dependencies)), capture_(dependencies_.capture), consentStore_(dependencies_.defaults) {
    captureObserver_ = capture_.addObserver([this] { pushState(); });
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
        {"consent.acknowledgeDisclosure", &B::consentAcknowledgeDisclosure},
        {"consent.setStandingRecordingConsent", &B::consentSetStandingRecordingConsent},
        {"evidence.open", &B::evidenceOpen},
        {"text.copy", &B::textCopy},
        {"diagnostics.export", &B::diagnosticsExport},
        {"integrations.status", &B::integrationsStatus},
        {"integrations.install", &B::integrationsInstall},
        // Named here so the page learns they are not available yet, not that they do not exist.
        {"capture.retry", &B::unsupported},
        {"capture.connectCloud", &B::unsupported},
        {"capture.syncCloud", &B::unsupported},
        {"consent.setRemoteTranscription", &B::unsupported},
        {"analysis.plan", &B::unsupported},
        {"analysis.approve", &B::unsupported},
        {"analysis.decline", &B::unsupported},
        {"updates.openDownload", &B::unsupported},
        {"updates.setEnabled", &B::unsupported},
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
    return makeStateSnapshot(capture_.state(), {consentStore_.disclosureJSON(), consentStore_.recordingConsentJSON(),
                                                updateStatusJSON(dependencies_.defaults)});
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
