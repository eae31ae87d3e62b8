#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "capture/latest_manifest_writer.h"
#include "capture/local_session_manifest.h"
#include "core/error.h"
#include "platform/capture_service.h"
#include "platform/media_writer.h"
#include "platform/process_runner.h"

namespace quillmer {

enum class RecorderErrorCase { cannotAddVideoInput };

class RecorderError : public FamilyError<RecorderErrorCase> {
public:
    explicit RecorderError(RecorderErrorCase kind);
};

// Writes one capture into a new session folder: "screen.mp4", up to two audio files created on
// their first usable sample, and "session.json" with the timing facts later stages align by.
// Not thread-safe: the engine appends only under its recorder lock and finishes after taking the
// recorder out of it. Appends never touch the disk themselves: the manifest rewrites that keep a
// killed capture usable go to a background writer, so a slow disk cannot stall the sample queue.
class LocalSessionRecorder {
public:
    // Creates the folder under `sessionsRoot` and writes the first manifest. Throws.
    LocalSessionRecorder(const DisplayDescription& display, const std::filesystem::path& sessionsRoot,
                         MediaWriterFactory& writers, ProcessRunner& processes,
                         ManifestWriter writeManifestFile = writeManifest);
    ~LocalSessionRecorder();

    void appendVideo(const VideoFrame& frame);
    void appendAudio(const AudioBuffer& buffer, bool microphone);

    // Finalises the media files and the manifest, after any earlier manifest write has landed, so
    // the complete manifest is the last one on disk; blocking. Throws FileSystemError.
    void finish();

    const std::filesystem::path& directory() const { return directory_; }
    const LocalSessionManifest& manifest() const { return manifest_; }

private:
    class AudioTrackWriter;

    void persistTimingFacts();

    std::filesystem::path directory_;
    std::filesystem::path manifestURL_;
    std::unique_ptr<VideoFileWriter> writer_;
    LocalSessionManifest manifest_;
    bool started_ = false;
    std::unique_ptr<AudioTrackWriter> systemAudio_;
    std::unique_ptr<AudioTrackWriter> microphoneAudio_;
    MediaWriterFactory& writers_;
    ManifestWriter writeManifestFile_;
    std::unique_ptr<LatestManifestWriter> timingFactsWriter_;
};

}  // namespace quillmer
