// Message dispatch, replies and state pushes. The methods themselves live in the
// native_review_bridge_*.cpp files by subject.
#include "app/native_review_bridge.h"

#include <type_traits>

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
      transcriptionEnvironment_(dependencies_.transcriptionEnvironment.value_or(RemoteTranscriptionEnvironment::ofProcess())),
      ownUpdates_(dependencies_.updates ? nullptr
                                        : std::make_unique<UpdateChecker>(UpdateCheckerDependencies{
                                              dependencies_.defaults, {}, quillmerVersion(), nullptr, nullptr, {}})),
      updates_(dependencies_.updates ? dependencies_.updates : ownUpdates_.get()) {
    captureObserver_ = capture_.addObserver([this] { pushState(); });
    checkForUpdates();
}

NativeReviewBridge::~NativeReviewBridge() { capture_.removeObserver(captureObserver_); }

namespace {

template <auto kind>
[[noreturn]] void refuseWith() {
    if constexpr (std::is_same_v<decltype(kind), ConsentErrorCase>)
        throw ConsentError(kind);
    else
        throw NativeBridgeError(kind);
}

}  // namespace

const std::map<std::string, NativeReviewBridge::Method>& NativeReviewBridge::methods() {
    using B = NativeReviewBridge;
    using enum NativeBridgeErrorCase;
    using K = ArgumentKind;
    const auto refusePath = &refuseWith<invalidPath>;
    static const std::map<std::string, Method> table = {
        {"capture.state", {&B::captureState}},
        {"capture.restore", {&B::captureRestore, {{K::string, true}}, &refuseWith<sessionUnavailable>}},
        {"capture.deleteSession", {&B::captureDeleteSession, {{K::string}}, &refuseWith<sessionUnavailable>}},
        {"capture.newSession", {&B::captureNewSession}},
        {"capture.importRecording", {&B::captureImportRecording, {{K::string, true}}, refusePath}},
        {"capture.importTranscript", {&B::captureImportTranscript, {{K::string, true}}, refusePath}},
        {"capture.sources", {&B::captureSources}},
        // The affirmation is checked before the display, each with its own error.
        {"capture.start", {&B::captureStart}},
        {"capture.stop", {&B::captureStop}},
        {"capture.process", {&B::captureProcess}},
        {"capture.cancel", {&B::captureCancel}},
        {"capture.connectCloud", {&B::captureConnectCloud}},
        {"capture.syncCloud", {&B::captureSyncCloud}},
        {"capture.retry", {&B::captureRetry}},
        {"analysis.plan", {&B::analysisPlan}},
        {"analysis.approve", {&B::analysisApprove}},  // checks its own argument
        {"analysis.decline", {&B::analysisDecline}},
        {"consent.acknowledgeDisclosure",
         {&B::consentAcknowledgeDisclosure, {{K::integer}}, &refuseWith<ConsentErrorCase::unknownDisclosureVersion>}},
        {"consent.setStandingRecordingConsent",
         {&B::consentSetStandingRecordingConsent, {{K::boolean}}, &refuseWith<ConsentErrorCase::consentRequired>}},
        {"consent.setRemoteTranscription",
         {&B::consentSetRemoteTranscription, {{K::boolean}}, &refuseWith<ConsentErrorCase::consentRequired>}},
        {"evidence.open", {&B::evidenceOpen, {{K::string, true}}, refusePath}},
        // The review methods check their own arguments: id lists and an edits object.
        {"review.save", {&B::reviewSave}},
        {"review.createHandoff", {&B::reviewCreateHandoff}},
        {"review.copyHandoff", {&B::reviewCopyHandoff}},
        {"text.copy", {&B::textCopy, {{K::string}}, &refuseWith<invalidText>}},
        {"diagnostics.export", {&B::diagnosticsExport, {{K::string, true}}, refusePath}},
        {"updates.openDownload", {&B::updatesOpenDownload}},
        {"updates.setEnabled", {&B::updatesSetEnabled}},  // checks its own argument
        {"integrations.status", {&B::integrationsStatus}},
        {"integrations.install", {&B::integrationsInstall}},  // checks its own argument
        {"summary.refresh", {&B::summaryRefresh, {{K::string}}, &refuseWith<missingExport>}},
    };
    return table;
}

void NativeReviewBridge::handleMessage(const Json& body) {
    if (const auto call = decodeBridgeMessage(body)) handleCall(*call);
}

void NativeReviewBridge::handleCall(const BridgeCall& call) {
    const auto reply = std::make_shared<BridgeReply>(call.id, page_);
    const auto& table = methods();
    const auto entry = table.find(call.method);
    settleFailures(*reply, [&] {
        if (entry == table.end()) return unsupported(call.args, reply);
        const Method& method = entry->second;
        if (!argumentsFit(method.parameters, call.args)) method.refuse();
        (this->*method.run)(call.args, reply);
    });
}

void NativeReviewBridge::unsupported(const Json&, const Reply&) {
    throw NativeBridgeError(NativeBridgeErrorCase::unsupportedOperation);
}

Json NativeReviewBridge::stateSnapshot() const {
    SnapshotExtras extras{consentStore_.disclosureJSON(), consentStore_.recordingConsentJSON(), updates_->stateJSON()};
    extras.remoteTranscription =
        remoteTranscriptionState(RemoteTranscriptionSettings(dependencies_.defaults), transcriptionEnvironment_).toJSON();
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

std::optional<std::filesystem::path> NativeReviewBridge::pathArgument(const Json& args) const {
    if (!dependencies_.acceptsPathArguments || args.empty() || !args[0].is_string()) return std::nullopt;
    std::filesystem::path path(args[0].get<std::string>());
    // A relative path would be read or written wherever the server happens to run.
    if (!path.is_absolute()) throw NativeBridgeError(NativeBridgeErrorCase::invalidPath);
    return path;
}

std::optional<std::filesystem::path> NativeReviewBridge::chooseFileToOpen(const Json& args, const std::string& title,
                                                                         const std::vector<std::string>& extensions) {
    const auto path = pathArgument(args);
    if (!path) return dependencies_.host.chooseFileToOpen(title, extensions);
    // stat() never blocks on a pipe or device the way opening one can.
    std::error_code ignored;
    if (!std::filesystem::is_regular_file(*path, ignored)) throw NativeBridgeError(NativeBridgeErrorCase::notARegularFile);
    return path;
}

CaptureEngine::Completion NativeReviewBridge::then(const Reply& reply, std::function<void()> step) {
    return [life = std::weak_ptr<int>(alive_), reply, step = std::move(step)] {
        if (!life.lock()) return;
        settleFailures(*reply, step);
    };
}

}  // namespace quillmer
