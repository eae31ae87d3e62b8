#pragma once

#include <string>

#include "core/error.h"

namespace quillmer {

enum class NativeBridgeErrorCase {
    captureFailure,
    unsupportedOperation,
    invalidEvidenceFilename,
    invalidEvidence,
    bundleNotOpen,
    missingFeedback,
    invalidCaptureSource,
    invalidIntegration,
    invalidText,
    missingSession,
    missingExport,
    sessionUnavailable,
    invalidApproval,
    analysisNotApproved,
    invalidUpdateSetting,
    // A path given instead of a panel (the browser host): relative, not a regular file to read,
    // or a file that already exists where a new one is to be written.
    invalidPath,
    notARegularFile,
    fileExists,
};

// Why the review bridge rejected a call from the page; what() is the text the page shows.
class NativeBridgeError : public FamilyError<NativeBridgeErrorCase> {
public:
    // Every case but captureFailure, which carries the engine's own message.
    explicit NativeBridgeError(NativeBridgeErrorCase kind);
    static NativeBridgeError captureFailure(const std::string& engineMessage);

private:
    NativeBridgeError(NativeBridgeErrorCase kind, const std::string& text) : FamilyError(kind, text) {}
};

}  // namespace quillmer
