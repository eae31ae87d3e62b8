#include "evidence/visual_evidence_extractor.h"

#include <algorithm>
#include <chrono>
#include <future>
#include <memory>
#include <set>

#include "capture/local_session_manifest.h"
#include "capture/session_folder.h"
#include "core/atomic_file.h"
#include "core/folders.h"
#include "core/safe_path.h"
#include "evidence/evidence_extraction_error.h"
#include "evidence/frame_extraction.h"
#include "evidence/moment_detection.h"
#include "transcription/local_transcript.h"

namespace quillmer {

namespace {

// Reading the next candidate's frames while the last ones are written holds two candidates at
// once; above this size (an 8K screen's three frames are 768 MiB) they are written first.
constexpr size_t kOverlappedFrameBytes = size_t{96} << 20;

size_t frameBytes(const std::vector<RasterImage>& frames) {
    size_t bytes = 0;
    for (const auto& frame : frames) bytes += frame.pixels.size() * sizeof(uint32_t);
    return bytes;
}

std::string joinedContext(const LocalTranscript& transcript, size_t index) {
    std::string context;
    for (const size_t k : contextSegments(transcript, index, kCandidateContextSeconds)) {
        if (!context.empty()) context.push_back(' ');
        context += transcript.segments[k].text;
    }
    return context;
}

// Frames an earlier, interrupted or replaced run left behind: only the recorded bundle's stay.
void removeFramesNotIn(const VisualEvidenceCandidateBundle& bundle, const std::filesystem::path& sessionFolder) {
    std::set<std::string> kept;
    for (const auto& candidate : bundle.candidates) kept.insert(candidate.frameFiles.begin(), candidate.frameFiles.end());
    std::error_code error;
    for (std::filesystem::directory_iterator entry(sessionFolder / kFramesFolderName, error), end; !error && entry != end;
         entry.increment(error)) {
        if (kept.contains(std::string(kFramesFolderName) + "/" + entry->path().filename().string())) continue;
        std::error_code ignored;
        std::filesystem::remove_all(entry->path(), ignored);
    }
}

}  // namespace

VisualEvidenceCandidateBundle VisualEvidenceExtractor::extract(const std::filesystem::path& sessionFolder,
                                                               std::stop_token stop) {
    const LocalSessionManifest manifest = readManifest(sessionFolder);
    const auto transcriptFile = manifest.transcriptFile ? resolveInside(sessionFolder, *manifest.transcriptFile) : std::nullopt;
    if (!transcriptFile) throw EvidenceExtractionError(EvidenceExtractionErrorCase::missingTranscript);
    const LocalTranscript transcript = readTranscript(*transcriptFile);

    const double videoStart = manifest.firstVideoPTSSeconds.value_or(0.0);
    const std::optional<double> videoEnd = manifest.lastVideoPTSSeconds;
    const std::filesystem::path framesFolder = sessionFolder / kFramesFolderName;
    createFolders(framesFolder);

    // Opened on first use and kept for the whole run; a session without moments never touches it.
    std::unique_ptr<VideoFrameReader> video;
    VisualEvidenceCandidateBundle bundle;
    // The last candidate's files are written on a worker while the next candidate's frames are read.
    // At most one write is pending, so memory holds two candidates' frames however long the video,
    // and only one candidate's when its frames are large.
    // It is finished before anything else can end the run: errors come in candidate order, and no
    // file is written after extract returns or throws.
    std::future<FrameExtractionResult> writing;
    const auto finishWriting = [&] {
        if (!writing.valid()) return;
        FrameExtractionResult frames = writing.get();
        bundle.candidates.back().frameFiles = std::move(frames.frameFiles);
        bundle.candidates.back().visualAnchor = frames.visualAnchor;
    };
    for (const auto& moment : findMoments(transcript)) {
        if (stop.stop_requested()) {
            finishWriting();
            throw CancellationError();
        }
        const auto index = static_cast<size_t>(moment.index);
        const double t = transcript.segments[index].startSeconds;
        if (t < videoStart || (videoEnd && t > *videoEnd)) continue;
        const double rangeStart = std::max(t - kSecondsBeforeMoment, videoStart);
        const double rangeEnd = videoEnd ? std::min(t + kSecondsAfterMoment, *videoEnd) : t + kSecondsAfterMoment;
        if (rangeStart > rangeEnd) continue;

        if (!video) {
            const auto videoFile = resolveInside(sessionFolder, manifest.videoFile);
            if (!videoFile)
                throw DecodingError("session.json names the video \"" + manifest.videoFile +
                                    "\", which is not a file in the session folder.");
            video = videos_.open(*videoFile);
        }
        std::vector<RasterImage> frames;
        try {
            frames = readFrames(*video, {rangeStart - videoStart, t - videoStart, rangeEnd - videoStart});
        } catch (const FrameBeyondEndError&) {
            // The video really ends before this moment does (its manifest claimed more): the last
            // picture is no evidence of what was on screen then, so the moment is left out.
            continue;
        } catch (...) {
            finishWriting();
            throw;
        }
        finishWriting();

        VisualEvidenceCandidate candidate;
        candidate.id = Uuid::random();
        candidate.rangeStartSeconds = rangeStart;
        candidate.rangeEndSeconds = rangeEnd;
        candidate.trigger = moment.trigger;
        candidate.transcriptContext = joinedContext(transcript, index);
        bundle.candidates.push_back(std::move(candidate));
        const bool large = frameBytes(frames) > kOverlappedFrameBytes;
        writing = std::async(std::launch::async, [this, frames = std::move(frames), id = bundle.candidates.back().id,
                                                  &framesFolder]() mutable {
            return writeFrames(std::move(frames), id, framesFolder, renderer_);
        });
        if (large) finishWriting();
    }
    finishWriting();

    bundle.schemaVersion = 1;
    // Whole seconds, as the file keeps it, so the bundle returned is the bundle stored.
    bundle.createdAt = std::chrono::time_point_cast<std::chrono::seconds>(std::chrono::system_clock::now());
    writeFileAtomically(sessionFolder / kCandidateFileName, encodeJSON(bundle.toJSON()));
    updateManifest(sessionFolder, [](LocalSessionManifest& m) { m.candidateFile = kCandidateFileName; });
    removeFramesNotIn(bundle, sessionFolder);
    return bundle;
}

}  // namespace quillmer
