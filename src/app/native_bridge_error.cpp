#include "app/native_bridge_error.h"

namespace quillmer {

namespace {

const char* describe(NativeBridgeErrorCase kind) {
    using enum NativeBridgeErrorCase;
    switch (kind) {
        case captureFailure: return "";
        case unsupportedOperation: return "This version of Quillmer does not support that operation.";
        case invalidEvidenceFilename: return "Choose the evidence.json file from an Quillmer export.";
        case invalidEvidence: return "This file is not a readable Quillmer evidence brief.";
        case bundleNotOpen:
            return "This evidence brief is no longer open. Open it again before making a review decision.";
        case missingFeedback: return "This export has no grounded feedback to hand off.";
        case invalidCaptureSource: return "Choose a display before recording.";
        case invalidIntegration: return "Choose a supported coding agent to connect.";
        case invalidText: return "That text cannot be copied.";
        case missingSession: return "Import or record a meeting first.";
        case missingExport: return "Quillmer could not prepare an evidence brief.";
        case sessionUnavailable: return "This local session is no longer available.";
        case invalidApproval: return "That analysis approval is not valid.";
        case analysisNotApproved: return "This meeting has not been approved for analysis yet.";
        case invalidUpdateSetting: return "That update-check value is not valid.";
        case invalidPath: return "Give the full path of a file on this computer, starting with \"/\".";
        case notARegularFile: return "That path does not name an ordinary file that Quillmer can read.";
        case fileExists: return "A file already exists at that path. Choose a new file name; Quillmer does not replace files.";
    }
    return "";
}

}  // namespace

NativeBridgeError::NativeBridgeError(NativeBridgeErrorCase kind) : FamilyError(kind, describe(kind)) {}

NativeBridgeError NativeBridgeError::captureFailure(const std::string& engineMessage) {
    return NativeBridgeError(NativeBridgeErrorCase::captureFailure, engineMessage);
}

}  // namespace quillmer
