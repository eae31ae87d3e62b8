// The page's capture.* methods other than processing: state, sessions, imports, displays, and
// starting and stopping a recording with the operator's consent affirmation.
#include <algorithm>
#include <chrono>

#include "app/display_id.h"
#include "app/native_bridge_error.h"
#include "app/native_review_bridge.h"
#include "capture/session_progress_files.h"
#include "cloud/cloud_session_sync_error.h"
#include "core/ascii_case.h"

namespace quillmer {

namespace {

const Json& argument(const Json& args, size_t index) {
    static const Json none;
    return index < args.size() ? args[index] : none;
}

}  // namespace

void NativeReviewBridge::captureState(const Json&, const Reply& reply) { reply->succeed(stateSnapshot()); }

void NativeReviewBridge::captureRestore(const Json& args, const Reply& reply) {
    if (const Json& id = argument(args, 0); id.is_string()) {
        const std::string sessionID = id.get<std::string>();
        const auto& state = capture_.state();
        // While capturing or busy the engine keeps the current meeting, as it does for any restore.
        const bool engineWillRestore = !state.isCapturing && !state.isBusy();
        capture_.restoreSession(sessionID);
        const auto& current = capture_.state().lastSessionDirectory;
        if (engineWillRestore && !(current && equalsIgnoringASCIICase(current->filename().string(), sessionID)))
            throw NativeBridgeError(NativeBridgeErrorCase::sessionUnavailable);
    }
    Json result = {{"state", stateSnapshot()}};
    const auto& exportFolder = capture_.state().lastExportDirectory;
    std::error_code ignored;
    if (exportFolder && std::filesystem::exists(*exportFolder / kEvidenceFileName, ignored))
        result["bundle"] = handOutBundle(*exportFolder);
    reply->succeed(result);
}

void NativeReviewBridge::captureDeleteSession(const Json& args, const Reply& reply) {
    capture_.deleteSession(args[0].get<std::string>());
    reply->succeed(stateSnapshot());
}

void NativeReviewBridge::captureNewSession(const Json&, const Reply& reply) {
    capture_.newSession();
    reply->succeed(stateSnapshot());
}

void NativeReviewBridge::captureConnectCloud(const Json&, const Reply& reply) {
    capture_.connectCloud();
    reply->succeed(stateSnapshot());
}

// Starts a round and answers at once with the syncing state; the round's end is pushed.
void NativeReviewBridge::captureSyncCloud(const Json&, const Reply& reply) {
    if (!configuredRelayOrigin()) throw CloudSessionSyncError::relayNotConfigured();
    capture_.syncCloudSessions();
    reply->succeed(stateSnapshot());
}

void NativeReviewBridge::captureImportRecording(const Json& args, const Reply& reply) {
    const auto file = chooseFileToOpen(args, "Import a meeting recording", {"mp4", "mov", "m4v"});
    if (!file) return reply->succeed(stateSnapshot());
    capture_.importRecording(*file, then(reply, [this, reply] {
                                 requireNoEngineError();
                                 reply->succeed(stateSnapshot());
                             }));
}

void NativeReviewBridge::captureImportTranscript(const Json& args, const Reply& reply) {
    const auto file = chooseFileToOpen(args, "Add a timestamped transcript", {"vtt", "srt"});
    if (!file) return reply->succeed(stateSnapshot());
    capture_.importTranscript(*file, then(reply, [this, reply] {
                                  requireNoEngineError();
                                  reply->succeed(stateSnapshot());
                              }));
}

void NativeReviewBridge::captureSources(const Json&, const Reply& reply) {
    capture_.refreshDisplays();
    requireNoEngineError();
    Json sources = Json::array();
    for (const auto& display : capture_.state().displays)
        sources.push_back({{"id", std::to_string(display.id())}, {"label", display.label()}});
    reply->succeed(sources);
}

void NativeReviewBridge::captureStart(const Json& args, const Reply& reply) {
    // The affirmation is checked before anything else: without it nothing starts.
    const auto affirmation = ConsentStore::checkAffirmation(argument(args, 1));
    const Json& source = argument(args, 0);
    const auto displayID = source.is_string() ? parseDisplayID(source.get<std::string>()) : std::nullopt;
    if (!displayID) throw NativeBridgeError(NativeBridgeErrorCase::invalidCaptureSource);
    if (capture_.state().displays.empty()) capture_.refreshDisplays();
    const auto& displays = capture_.state().displays;
    const auto display = std::find_if(displays.begin(), displays.end(),
                                      [&](const CapturableDisplay& d) { return d.id() == *displayID; });
    if (display == displays.end()) throw NativeBridgeError(NativeBridgeErrorCase::invalidCaptureSource);

    // The engine writes the affirmation into this capture's folder when the capture ends.
    capture_.startCapture(*display, affirmation);
    requireNoEngineError();
    if (capture_.state().isCapturing) consentStore_.recordAffirmation(std::chrono::system_clock::now());
    reply->succeed(stateSnapshot());
}

void NativeReviewBridge::captureStop(const Json&, const Reply& reply) {
    capture_.stopCapture(then(reply, [this, reply] { reply->succeed(stateSnapshot()); }));
}

}  // namespace quillmer
