#include "transcription/transcription_error.h"

#include <cstdio>

namespace quillmer {

using Case = TranscriptionErrorCase;

TranscriptionError TranscriptionError::onDeviceModelUnavailable(const std::string& localeIdentifier) {
    return {Case::onDeviceModelUnavailable,
            "No on-device speech model is installed for " + localeIdentifier +
                ". Quillmer will not send this recording to a speech service instead — install a speech model for "
                "that language, or import an existing transcript."};
}

TranscriptionError TranscriptionError::enhancedProviderFailed(const std::string& detail) {
    return {Case::enhancedProviderFailed, "Diarized transcription failed: " + detail};
}

TranscriptionError TranscriptionError::audioTooLargeForRemoteRoute(int64_t byteCount, int64_t limitBytes) {
    const auto megabytes = [](int64_t bytes) {
        char text[64];
        std::snprintf(text, sizeof text, "%.0f", static_cast<double>(bytes) / 1048576.0);
        return std::string(text);
    };
    return {Case::audioTooLargeForRemoteRoute,
            "This audio track is " + megabytes(byteCount) + " MB, over the " + megabytes(limitBytes) +
                " MB limit for diarized transcription, so Quillmer did not upload it. Quillmer transcribed it on "
                "this computer instead."};
}

TranscriptionError TranscriptionError::unavailable() {
    return {Case::unavailable, "Speech recognition is unavailable for the selected language."};
}

TranscriptionError TranscriptionError::permissionDenied() {
    return {Case::permissionDenied, "Speech recognition permission is required to transcribe this local session."};
}

TranscriptionError TranscriptionError::missingSystemAudio() {
    return {Case::missingSystemAudio, "This session does not have a system-audio track to transcribe."};
}

TranscriptionError TranscriptionError::chunkExportFailed() {
    return {Case::chunkExportFailed, "Quillmer could not prepare a local audio segment for transcription."};
}

TranscriptionError TranscriptionError::importedTranscriptKept() {
    return {Case::importedTranscriptKept,
            "This meeting already has a transcript you imported. Quillmer keeps it rather than replace it with a "
            "transcription of the recording."};
}

TranscriptionError TranscriptionError::noSpeechFound() {
    return {Case::noSpeechFound,
            "Quillmer found no speech in this recording, so the meeting keeps its current transcript."};
}

}  // namespace quillmer
