#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>

#include "core/error.h"

namespace quillmer {

// A recording could not be read or a media file could not be written; what() says which and why.
class RecordingMediaError : public Error {
public:
    using Error::Error;
};

// Fractions from 0 to 1 as an export advances.
using ExportProgressHandler = std::function<void(double fraction)>;

// What one export writes from a recording.
struct RecordingExportRequest {
    // The whole recording as MPEG-4: H.264 and HEVC video kept as they are (no quality loss),
    // any other video encoded as H.264; sound kept when AAC, else encoded as AAC.
    std::filesystem::path movieFile;
    // The first audio track alone as M4A (AAC), when wanted.
    std::optional<std::filesystem::path> audioFile;
};

class RecordingExport {
public:
    virtual ~RecordingExport() = default;
    // Runs to completion. Throws CancellationError when `stop` is requested (also before it starts)
    // and RecordingMediaError when reading or writing fails; files already begun stay for the caller.
    virtual void run(std::stop_token stop, const ExportProgressHandler& progress) = 0;
    // After run: where the video that was really read ends, in seconds from the start (the end of
    // its last complete picture); nothing when the export cannot tell.
    virtual std::optional<double> videoEndSeconds() const { return std::nullopt; }
};

// A local recording, shaped like a platform media asset: its tracks, duration and exports.
class RecordingAsset {
public:
    virtual ~RecordingAsset() = default;
    virtual bool hasVideoTrack() const = 0;
    virtual bool hasAudioTrack() const = 0;
    // The first video track's stored size with its display transform applied, so a rotated
    // recording reports its upright size (signs as the transform leaves them).
    virtual double presentationWidth() const = 0;
    virtual double presentationHeight() const = 0;
    virtual double durationSeconds() const = 0;
    // nullptr when no exporter can be made for the request (for example a codec nothing here reads).
    virtual std::unique_ptr<RecordingExport> makeExport(const RecordingExportRequest& request) const = 0;
};

class RecordingAssetLoader {
public:
    virtual ~RecordingAssetLoader() = default;
    // Throws FileSystemError when the file is not a readable regular file (a pipe or a device is
    // refused at once) and RecordingMediaError when it cannot be opened as media.
    virtual std::unique_ptr<RecordingAsset> load(const std::filesystem::path& file) = 0;
};

}  // namespace quillmer
