#pragma once

#include <filesystem>

#include "core/uuid.h"

namespace quillmer {

// Fixed file names inside a session folder. The manifest records them by bare name.
inline constexpr const char* kSessionManifestFileName = "session.json";
inline constexpr const char* kScreenVideoFileName = "screen.mp4";
inline constexpr const char* kSystemAudioFileName = "system-audio.m4a";
inline constexpr const char* kMicrophoneAudioFileName = "microphone.m4a";
inline constexpr const char* kTranscriptFileName = "transcript.json";
inline constexpr const char* kCandidateFileName = "evidence-candidates.json";
inline constexpr const char* kFramesFolderName = "frames";
inline constexpr const char* kConsentFileName = "consent.json";
inline constexpr const char* kSourceTranscriptBaseName = "source-transcript.";
inline constexpr const char* kTranscriptionDiagnosticsFileName = "transcription-diagnostics.txt";

// The one Sessions root every writer and reader resolves; created on every call.
// Throws FileSystemError.
std::filesystem::path sessionsRoot();

// "<root>/<UUID>", the folder of one session (not created).
std::filesystem::path sessionFolder(const std::filesystem::path& root, const Uuid& id);

// Makes the folder of a new session (with intermediate folders). Throws FileSystemError.
std::filesystem::path createSessionFolder(const std::filesystem::path& root, const Uuid& id);

}  // namespace quillmer
