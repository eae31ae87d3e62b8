#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/uuid.h"
#include "evidence/visual_evidence_candidate.h"
#include "platform/frame_image_renderer.h"
#include "platform/video_frame_reader.h"

namespace quillmer {

// A candidate's frame file names, its id as the stem: "<id>-<n>.png" for the n-th frame (with three
// frames, 0 before, 1 at and 2 after the moment), the outlined middle frame and the close-up of the change.
inline constexpr size_t kMomentFrameIndex = 1;
std::string frameFileName(const Uuid& id, size_t n);
std::string changeAnchorFileName(const Uuid& id);
std::string changeFocusFileName(const Uuid& id);

struct FrameExtractionResult {
    std::vector<std::string> frameFiles;  // session-relative: the frames, then annotated frame and crop
    std::optional<VisualChangeAnchor> visualAnchor;
};

// Encodes `image` as PNG and writes it atomically as `directory` / `fileName`; returns
// "frames/" + `fileName`. Throws EvidenceExtractionError(frameEncoding) or FileSystemError.
std::string writePNG(const RasterImage& image, const std::string& fileName, const std::filesystem::path& directory,
                     FrameImageRenderer& renderer);

// The frames at `videoTimes`, in order. Throws MediaError.
std::vector<RasterImage> readFrames(VideoFrameReader& video, const std::vector<double>& videoTimes);

// Writes `frames` as "<id>-<n>.png", and for exactly three frames looks for a small change around
// the middle one, adding "<id>-change-anchor.png" and "<id>-change-focus.png" when it finds one.
// Takes the frames to release each as soon as it is no longer needed.
// Throws FileSystemError or EvidenceExtractionError(frameEncoding).
FrameExtractionResult writeFrames(std::vector<RasterImage> frames, const Uuid& id,
                                  const std::filesystem::path& framesDirectory, FrameImageRenderer& renderer);

// readFrames, then writeFrames: every frame is read before any file is written.
// Throws MediaError, FileSystemError or EvidenceExtractionError(frameEncoding).
FrameExtractionResult extractFrames(VideoFrameReader& video, const std::vector<double>& videoTimes, const Uuid& id,
                                    const std::filesystem::path& framesDirectory, FrameImageRenderer& renderer);

}  // namespace quillmer
