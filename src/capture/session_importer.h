#pragma once

#include <filesystem>
#include <functional>
#include <stop_token>
#include <string>

#include "capture/local_session_manifest.h"
#include "core/error.h"
#include "platform/recording_asset.h"

namespace quillmer {

enum class SessionImportErrorCase { unsupportedFile, noVideoTrack, cannotCreateExporter };

class SessionImportError : public FamilyError<SessionImportErrorCase> {
public:
    using FamilyError::FamilyError;
    static SessionImportError unsupportedFile(const std::string& fileName);
    static SessionImportError noVideoTrack();
    static SessionImportError cannotCreateExporter();
};

struct ImportedSession {
    std::filesystem::path directory;
    LocalSessionManifest manifest;
};

// Turns a local screen recording (MP4, MOV or M4V) into a new session folder that the rest of the
// pipeline treats like a capture: "screen.mp4", "system-audio.m4a" when it has sound, and a
// manifest carrying the source file's fingerprint.
class SessionImporter {
public:
    explicit SessionImporter(RecordingAssetLoader& loader) : loader_(loader) {}

    // Throws SessionImportError, FileSystemError (the source cannot be read, which outranks any
    // other failure), RecordingMediaError, or CancellationError when `stop` is requested while the
    // media is exported or fingerprinted. A failure after the folder exists removes it.
    // `progress` receives fractions from 0 to 1 while the media is exported.
    ImportedSession importRecording(const std::filesystem::path& file, std::stop_token stop = {},
                                    const ExportProgressHandler& progress = {}) const;

private:
    RecordingAssetLoader& loader_;
};

}  // namespace quillmer
