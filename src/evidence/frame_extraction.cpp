#include "evidence/frame_extraction.h"

#include "capture/session_folder.h"
#include "core/atomic_file.h"
#include "evidence/anchor_images.h"
#include "evidence/change_anchor.h"
#include "evidence/evidence_extraction_error.h"

namespace quillmer {

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

FrameExtractionResult writeFrames(const std::vector<RasterImage>& frames, const Uuid& id,
                                  const std::filesystem::path& framesDirectory, FrameImageRenderer& renderer) {
    const std::string stem = id.toString();
    FrameExtractionResult result;
    for (size_t n = 0; n < frames.size(); ++n)
        result.frameFiles.push_back(writePNG(frames[n], stem + "-" + std::to_string(n) + ".png", framesDirectory, renderer));

    if (frames.size() != 3) return result;
    result.visualAnchor = detectChangeAnchor(frames[0], frames[1], frames[2], renderer);
    if (!result.visualAnchor) return result;
    if (const auto annotated = annotateFrame(frames[1], *result.visualAnchor, renderer))
        result.frameFiles.push_back(writePNG(*annotated, stem + "-change-anchor.png", framesDirectory, renderer));
    if (const auto crop = focusCrop(frames[1], *result.visualAnchor, renderer))
        result.frameFiles.push_back(writePNG(*crop, stem + "-change-focus.png", framesDirectory, renderer));
    return result;
}

FrameExtractionResult extractFrames(VideoFrameReader& video, const std::vector<double>& videoTimes, const Uuid& id,
                                    const std::filesystem::path& framesDirectory, FrameImageRenderer& renderer) {
    return writeFrames(readFrames(video, videoTimes), id, framesDirectory, renderer);
}

}  // namespace quillmer
