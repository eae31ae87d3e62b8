#pragma once

#include <cstdint>
#include <string>

#include "core/error.h"

namespace quillmer {

enum class TranscriptionErrorCase {
    onDeviceModelUnavailable,
    enhancedProviderFailed,
    audioTooLargeForRemoteRoute,
    unavailable,
    permissionDenied,
    missingSystemAudio,
    chunkExportFailed,
};

// Failures of on-device and diarized transcription.
class TranscriptionError : public FamilyError<TranscriptionErrorCase> {
public:
    static TranscriptionError onDeviceModelUnavailable(const std::string& localeIdentifier);
    static TranscriptionError enhancedProviderFailed(const std::string& detail);
    static TranscriptionError audioTooLargeForRemoteRoute(int64_t byteCount, int64_t limitBytes);
    static TranscriptionError unavailable();
    static TranscriptionError permissionDenied();
    static TranscriptionError missingSystemAudio();
    static TranscriptionError chunkExportFailed();

private:
    using FamilyError::FamilyError;
};

}  // namespace quillmer
