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
    importedTranscriptKept,
    noSpeechFound,
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
    // The session's transcript was imported by the user, and replacing it was not asked for.
    static TranscriptionError importedTranscriptKept();
    // The transcription found no speech, and the session already has a transcript with some.
    static TranscriptionError noSpeechFound();

private:
    using FamilyError::FamilyError;
};

}  // namespace quillmer
