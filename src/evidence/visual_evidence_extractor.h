#pragma once

#include <filesystem>
#include <stop_token>

#include "evidence/visual_evidence_candidate.h"
#include "platform/frame_image_renderer.h"
#include "platform/video_frame_reader.h"

namespace quillmer {

// Seconds of transcript quoted around each moment in its candidate.
inline constexpr double kCandidateContextSeconds = 18.0;
// The moment's window on the video: from this long before its segment starts…
inline constexpr double kSecondsBeforeMoment = 2.0;
// …to this long after.
inline constexpr double kSecondsAfterMoment = 1.0;

// Finds a session's feedback moments, extracts their frames and writes "evidence-candidates.json",
// then records it in the manifest. Keeps nothing between runs. A candidate's PNGs are encoded and
// written on a worker thread while the next candidate's frames are read, so the renderer is called
// from that thread (never from two at once).
class VisualEvidenceExtractor {
public:
    VisualEvidenceExtractor(VideoFrameReaderFactory& videos, FrameImageRenderer& renderer)
        : videos_(videos), renderer_(renderer) {}

    // Throws EvidenceExtractionError, FileSystemError, DecodingError, MediaError, or
    // CancellationError when `stop` is requested between moments (no candidate file then).
    VisualEvidenceCandidateBundle extract(const std::filesystem::path& sessionFolder, std::stop_token stop = {});

private:
    VideoFrameReaderFactory& videos_;
    FrameImageRenderer& renderer_;
};

}  // namespace quillmer
