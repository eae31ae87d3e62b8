#pragma once

#include <chrono>
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

// Marks a session folder as being filled by a running process (an import, before its session.json
// exists): an exclusive advisory lock on the folder itself, released when this ends or the process
// dies, so a killed import leaves an unlocked folder.
class SessionFolderLock {
public:
    explicit SessionFolderLock(const std::filesystem::path& folder);
    ~SessionFolderLock();
    SessionFolderLock(const SessionFolderLock&) = delete;
    SessionFolderLock& operator=(const SessionFolderLock&) = delete;

private:
    int descriptor_ = -1;
};

// How long an unlocked folder without session.json must have been left alone before it counts as
// abandoned, so a folder that was created a moment ago and is not locked yet is never taken.
inline constexpr std::chrono::minutes kAbandonedFolderAge{15};

// Removes what killed imports left under `root`: folders named by a session UUID, with no
// session.json, not locked by a running process, and with nothing in them changed for `age`.
// Never throws; anything it cannot inspect is left alone.
void removeAbandonedSessionFolders(const std::filesystem::path& root,
                                   std::chrono::seconds age = kAbandonedFolderAge);

}  // namespace quillmer
