#include "capture/session_importer.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <exception>
#include <functional>
#include <thread>

#include "capture/session_folder.h"
#include "core/ascii_case.h"
#include "core/sha256.h"
#include "core/uuid.h"

namespace quillmer {

namespace {

bool isSupportedRecording(const std::filesystem::path& file) {
    const std::string extension = asciiLowercased(file.extension().string());
    return extension == ".mp4" || extension == ".mov" || extension == ".m4v";
}

// A size from a transformed rectangle may be negative or fractional; the manifest keeps whole pixels.
int wholePixels(double value) {
    const double magnitude = std::trunc(std::fabs(value));
    return magnitude >= 2147483647.0 || std::isnan(magnitude) ? 0 : static_cast<int>(magnitude);
}

// The fingerprint of the source, hashed on its own thread while the media is probed and exported:
// the export keeps one core busy, so on a second core the hash costs little extra wall time.
class SourceFingerprint {
public:
    SourceFingerprint(const std::filesystem::path& file, std::stop_token importStop)
        : thread_([this, file](std::stop_token stop) {
              try {
                  digest_ = sha256HexOfFile(file, stop);
              } catch (...) {
                  error_ = std::current_exception();
              }
          }),
          cancel_(std::move(importStop), [this] { thread_.request_stop(); }) {}

    // Waits for the hash; throws what ended it (FileSystemError, or CancellationError once the
    // import is cancelled).
    const std::string& digest() {
        if (thread_.joinable()) thread_.join();
        if (error_) std::rethrow_exception(error_);
        return digest_;
    }

private:
    std::string digest_;
    std::exception_ptr error_;
    std::jthread thread_;  // stops and joins on every exit
    std::stop_callback<std::function<void()>> cancel_;
};

// Everything from loading the asset to the manifest; the folder goes again if any of it fails.
ImportedSession exportIntoNewSession(RecordingAssetLoader& loader, const std::filesystem::path& file,
                                     SourceFingerprint& fingerprint, std::stop_token stop,
                                     const ExportProgressHandler& progress) {
    const auto asset = loader.load(file);
    if (!asset->hasVideoTrack()) throw SessionImportError::noVideoTrack();
    const bool hasSound = asset->hasAudioTrack();

    LocalSessionManifest manifest;
    manifest.id = Uuid::random();
    const auto folder = createSessionFolder(sessionsRoot(), manifest.id);
    try {
        // Until session.json exists the folder looks abandoned; the lock tells a start-up clean-up
        // in another process that it is not.
        const SessionFolderLock working(folder);
        RecordingExportRequest request{folder / kScreenVideoFileName, std::nullopt};
        if (hasSound) request.audioFile = folder / kSystemAudioFileName;
        const auto exporter = asset->makeExport(request);
        if (!exporter) throw SessionImportError::cannotCreateExporter();
        exporter->run(stop, progress);
        manifest.sourceMediaFingerprint = fingerprint.digest();

        // Whole seconds, as the file keeps them, so the returned manifest is the one written.
        const auto now = std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
        manifest.createdAt = now;
        manifest.displayID = 0;
        manifest.width = wholePixels(asset->presentationWidth());
        manifest.height = wholePixels(asset->presentationHeight());
        manifest.firstVideoPTSSeconds = 0.0;
        // A file that ends early keeps the pictures it has: the session ends where they end.
        double end = asset->durationSeconds();
        if (const auto read = exporter->videoEndSeconds()) end = std::min(end, *read);
        manifest.lastVideoPTSSeconds = std::max(0.0, end);
        manifest.videoFrameCount = 0;
        if (hasSound) {
            manifest.systemAudioFile = kSystemAudioFileName;
            manifest.systemAudioFirstPTSSeconds = 0.0;
        }
        manifest.endedAt = now;
        manifest.videoFile = kScreenVideoFileName;
        manifest.schemaVersion = 1;
        writeManifest(folder, manifest);
    } catch (...) {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
        throw;
    }
    return {folder, manifest};
}

}  // namespace

SessionImportError SessionImportError::unsupportedFile(const std::string& fileName) {
    return {SessionImportErrorCase::unsupportedFile,
            "Quillmer supports local MP4, MOV, and M4V recordings. " + fileName + " is not a supported recording."};
}

SessionImportError SessionImportError::noVideoTrack() {
    return {SessionImportErrorCase::noVideoTrack, "This file does not contain a video track."};
}

SessionImportError SessionImportError::cannotCreateExporter() {
    return {SessionImportErrorCase::cannotCreateExporter,
            "Quillmer could not create a local media exporter for this recording."};
}

ImportedSession SessionImporter::importRecording(const std::filesystem::path& file, std::stop_token stop,
                                                 const ExportProgressHandler& progress) const {
    if (!isSupportedRecording(file)) throw SessionImportError::unsupportedFile(file.filename().string());

    SourceFingerprint fingerprint(file, stop);
    try {
        return exportIntoNewSession(loader_, file, fingerprint, stop, progress);
    } catch (...) {
        // A file that cannot be read is the cause to report, whatever the media work then ran into;
        // a cancelled import only waits for the hash to stop.
        if (!stop.stop_requested()) fingerprint.digest();
        throw;
    }
}

}  // namespace quillmer
