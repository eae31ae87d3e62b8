#include "evidence/frame_extraction.h"

#include "capture/session_folder.h"
#include "core/atomic_file.h"
#include "evidence/anchor_images.h"
#include "evidence/change_anchor.h"
#include "evidence/evidence_extraction_error.h"

namespace quillmer {

std::string frameFileName(const Uuid& id, size_t n) { return id.toString() + "-" + std::to_string(n) + ".png"; }
std::string changeAnchorFileName(const Uuid& id) { return id.toString() + "-change-anchor.png"; }
std::string changeFocusFileName(const Uuid& id) { return id.toString() + "-change-focus.png"; }

std::string writePNG(const RasterImage& image, const std::string& fileName, const std::filesystem::path& directory,
                     FrameImageRenderer& renderer) {
    const std::string bytes = renderer.encodePNG(image);
    if (bytes.empty()) throw EvidenceExtractionError(EvidenceExtractionErrorCase::frameEncoding);
    writeFileAtomically(directory / fileName, bytes);
    return std::string(kFramesFolderName) + "/" + fileName;
}

std::vector<RasterImage> readFrames(VideoFrameReader& video, const std::vector<double>& videoTimes) {
    std::vector<RasterImage> frames;
    frames.reserve(videoTimes.size());
    for (const double time : videoTimes) frames.push_back(video.frameAt(time));
    return frames;
}

FrameExtractionResult writeFrames(std::vector<RasterImage> frames, const Uuid& id,
                                  const std::filesystem::path& framesDirectory, FrameImageRenderer& renderer) {
    const bool lookForChange = frames.size() == 3;
    FrameExtractionResult result;
    std::vector<std::optional<std::vector<uint8_t>>> thumbnails;
    for (size_t n = 0; n < frames.size(); ++n) {
        result.frameFiles.push_back(writePNG(frames[n], frameFileName(id, n), framesDirectory, renderer));
        if (!lookForChange) continue;
        thumbnails.push_back(renderer.thumbnail(frames[n], kThumbnailWidth, kThumbnailHeight));
        // Only the middle frame is drawn on again; at 8K a frame is a quarter of a gigabyte.
        if (n != kMomentFrameIndex) frames[n] = RasterImage{};
    }
    if (!lookForChange || !thumbnails[0] || !thumbnails[1] || !thumbnails[2]) return result;
    result.visualAnchor =
        anchorFromCells(kThumbnailWidth, kThumbnailHeight, changedCells(*thumbnails[0], *thumbnails[1], *thumbnails[2]));
    if (!result.visualAnchor) return result;
    // The crop first, so the frame can go before the outlined copy is encoded.
    const auto crop = focusCrop(frames[kMomentFrameIndex], *result.visualAnchor, renderer);
    if (auto annotated = annotateFrame(frames[kMomentFrameIndex], *result.visualAnchor, renderer)) {
        frames[kMomentFrameIndex] = RasterImage{};
        result.frameFiles.push_back(writePNG(*annotated, changeAnchorFileName(id), framesDirectory, renderer));
    }
    if (crop) result.frameFiles.push_back(writePNG(*crop, changeFocusFileName(id), framesDirectory, renderer));
    return result;
}

FrameExtractionResult extractFrames(VideoFrameReader& video, const std::vector<double>& videoTimes, const Uuid& id,
                                    const std::filesystem::path& framesDirectory, FrameImageRenderer& renderer) {
    return writeFrames(readFrames(video, videoTimes), id, framesDirectory, renderer);
}

}  // namespace quillmer
