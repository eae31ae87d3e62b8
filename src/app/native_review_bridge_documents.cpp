// Consent choices, opening an evidence brief, the clipboard and the diagnostics export.
#include <chrono>

#include "app/diagnostics_record.h"
#include "app/native_bridge_error.h"
#include "app/native_review_bridge.h"

namespace quillmer {

void NativeReviewBridge::consentAcknowledgeDisclosure(const Json& args, const Reply& reply) {
    int version = 0;
    // An integer too large for any revision is not one this build knows either.
    if (!decodeJSONValue(args[0], version)) throw ConsentError(ConsentErrorCase::unknownDisclosureVersion);
    consentStore_.acknowledgeDisclosure(version);
    reply->succeed(stateSnapshot());
}

void NativeReviewBridge::consentSetStandingRecordingConsent(const Json& args, const Reply& reply) {
    consentStore_.setStandingRecordingConsent(args[0].get<bool>(), std::chrono::system_clock::now());
    reply->succeed(stateSnapshot());
}

void NativeReviewBridge::consentSetRemoteTranscription(const Json& args, const Reply& reply) {
    RemoteTranscriptionSettings settings(dependencies_.defaults);
    setRemoteTranscription(settings, transcriptionEnvironment_, args[0].get<bool>(), std::chrono::system_clock::now());
    reply->succeed(stateSnapshot());
}

void NativeReviewBridge::evidenceOpen(const Json& args, const Reply& reply) {
    const auto file = chooseFileToOpen(args, "Open Quillmer evidence brief", {"json"});
    if (!file) return reply->succeed(nullptr);
    if (file->filename() != "evidence.json") throw NativeBridgeError(NativeBridgeErrorCase::invalidEvidenceFilename);
    // The payload is made first: it is what proves the file is a readable brief.
    Json bundle = handOutBundle(file->parent_path());
    capture_.openEvidenceBrief(*file);
    requireNoEngineError();
    reply->succeed(bundle);
}

void NativeReviewBridge::textCopy(const Json& args, const Reply& reply) {
    if (!dependencies_.host.copyText(args[0].get<std::string>())) throw NativeBridgeError(NativeBridgeErrorCase::invalidText);
    reply->succeed(nullptr);
}

void NativeReviewBridge::diagnosticsExport(const Json& args, const Reply& reply) {
    const auto now = std::chrono::system_clock::now();
    // A path given by the caller is only ever a new file; a save panel has asked before replacing.
    const auto given = pathArgument(args);
    const auto file = given ? given
                            : dependencies_.host.chooseFileToSave("Export Quillmer diagnostics",
                                                                  suggestedDiagnosticsFileName(now));
    if (!file) return reply->succeed(false);
    try {
        writeDiagnosticsRecord(*file, makeDiagnosticsRecord(stateSnapshot(), now), !given);
    } catch (const FileSystemError& error) {
        if (error.code() == std::errc::file_exists) throw NativeBridgeError(NativeBridgeErrorCase::fileExists);
        throw;
    }
    reply->succeed(true);
}

}  // namespace quillmer
