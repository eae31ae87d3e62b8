#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/uuid.h"
#include "evidence/visual_evidence_candidate.h"
#include "platform/frame_image_renderer.h"
#include "platform/video_frame_reader.h"

namespace quillmer {

struct FrameExtractionResult {
    std::vector<std::string> frameFiles;  // session-relative: the frames, then annotated frame and crop
    std::optional<VisualChangeAnchor> visualAnchor;
};

// Encodes `image` as PNG and writes it atomically as `directory` / `fileName`; returns
// "frames/" + `fileName`. Throws EvidenceExtractionError(frameEncoding) or FileSystemError.
std::string writePNG(const RasterImage& image, const std::string& fileName, const std::filesystem::path& directory,
                     FrameImageRenderer& renderer);

// Reads the frames at `videoTimes` (all of them before writing any file), writes them as
// "<id>-<n>.png", and for exactly three frames looks for a small change around the middle one,
// adding "<id>-change-anchor.png" and "<id>-change-focus.png" when it finds one.
// Throws MediaError, FileSystemError or EvidenceExtractionError(frameEncoding).
FrameExtractionResult extractFrames(VideoFrameReader& video, const std::vector<double>& videoTimes, const Uuid& id,
                                    const std::filesystem::path& framesDirectory, FrameImageRenderer& renderer);

}  // namespace quillmer
