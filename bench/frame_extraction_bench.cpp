// Frame extraction for 48 candidates (144 exact-time frames, change detection, PNG files) from a
// 30-minute 1080p recording, beside running `ffmpeg -ss T -i … -frames:v 1` once per frame.
// Goal: at least 5 times faster.  Run: build/bench/frame_extraction_bench [minutes]
// "ours" is the whole evidence extraction of a session whose transcript has 48 feedback moments.
//
// The recording (low-detail 1080p at 30 fps, a keyframe every 2 s) is made once by encoding a
// 10-second clip and repeating it with a stream copy, then kept in $TMPDIR for later runs.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "capture/local_session_manifest.h"
#include "capture/session_folder.h"
#include "core/uuid.h"
#include "evidence/visual_evidence_extractor.h"
#include "transcription/local_transcript.h"
#include "platform/linux/cairo_frame_image_renderer.h"
#include "platform/linux/ffmpeg_video_frame_reader.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

int run(const std::string& command) {
    const int status = std::system(command.c_str());
    if (status != 0) std::cerr << "failed (" << status << "): " << command << "\n";
    return status;
}

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

fs::path recording(int minutes) {
    const fs::path folder = fs::temp_directory_path() / "quillmer-bench";
    fs::create_directories(folder);
    const fs::path video = folder / ("screen-" + std::to_string(minutes) + "min-1080p.mp4");
    if (fs::exists(video)) return video;
    const fs::path clip = folder / "clip-10s.mp4";
    const fs::path list = folder / "clips.txt";
    std::cerr << "Making a " << minutes << "-minute 1080p recording (once)...\n";
    run("ffmpeg -hide_banner -loglevel error -y -f lavfi -i \"color=c=0x303040:s=1920x1080:r=30:d=10,"
        "drawbox=x='mod(t*200,1700)':y=500:w=120:h=80:color=white:t=fill\" -c:v libx264 -preset ultrafast "
        "-g 60 -pix_fmt yuv420p " + clip.string());
    FILE* file = std::fopen(list.c_str(), "w");
    for (int i = 0; i < minutes * 6; ++i) std::fprintf(file, "file '%s'\n", clip.c_str());
    std::fclose(file);
    run("ffmpeg -hide_banner -loglevel error -y -f concat -safe 0 -i " + list.string() + " -c copy " + video.string());
    return video;
}

}  // namespace

int main(int argc, char** argv) {
    const int minutes = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
    const fs::path video = recording(minutes);
    const fs::path out = fs::temp_directory_path() / "quillmer-bench" / "frames";
    fs::remove_all(out);
    fs::create_directories(out);

    // 48 moments spread over the recording; each candidate asks for t - 2, t and t + 1.
    std::vector<std::vector<double>> moments;
    const double span = minutes * 60.0 - 10.0;
    for (int i = 0; i < 48; ++i) {
        const double t = 5.0 + span * i / 48.0 + 0.37 * (i % 5);
        moments.push_back({t - 2.0, t, t + 1.0});
    }

    // A session over the recording whose transcript says "Please fix this" at each moment.
    quillmer::LocalSessionManifest manifest;
    manifest.id = quillmer::Uuid::random();
    manifest.createdAt = std::chrono::system_clock::now();
    manifest.width = 1920;
    manifest.height = 1080;
    manifest.videoFile = quillmer::kScreenVideoFileName;
    const fs::path session = quillmer::createSessionFolder(out, manifest.id);
    fs::create_symlink(video, session / manifest.videoFile);
    quillmer::writeManifest(session, manifest);
    quillmer::LocalTranscript transcript;
    transcript.createdAt = manifest.createdAt;
    transcript.audioFile = quillmer::kSystemAudioFileName;
    transcript.localeIdentifier = "en-US";
    for (const auto& times : moments) {
        quillmer::LocalTranscriptSegment segment;
        segment.id = quillmer::Uuid::random();
        segment.startSeconds = times[1];
        segment.durationSeconds = 1.0;
        segment.text = "Please fix this";
        transcript.segments.push_back(segment);
    }
    quillmer::storeTranscript(session, manifest, transcript);

    quillmer::FFmpegVideoFrameReaderFactory videos;
    quillmer::CairoFrameImageRenderer renderer;
    auto start = Clock::now();
    const auto bundle = quillmer::VisualEvidenceExtractor(videos, renderer).extract(session);
    const double ours = secondsSince(start);
    if (bundle.candidates.size() != moments.size()) {
        std::cerr << "expected " << moments.size() << " candidates, got " << bundle.candidates.size() << "\n";
        return 1;
    }

    start = Clock::now();
    {
        quillmer::FFmpegVideoFrameReader reader(video);
        for (const auto& times : moments)
            for (const double t : times) reader.frameAt(t);
    }
    const double readingOnly = secondsSince(start);

    start = Clock::now();
    int index = 0;
    for (const auto& times : moments)
        for (const double t : times)
            run("ffmpeg -hide_banner -loglevel error -y -ss " + std::to_string(t) + " -i " + video.string() +
                " -frames:v 1 " + (out / ("ffmpeg-" + std::to_string(index++) + ".png")).string());
    const double perFrameProcess = secondsSince(start);

    std::printf("recording: %d min 1080p, 144 frames for 48 candidates\n", minutes);
    std::printf("evidence extraction (frames, change detection, PNGs):    %.2f s\n", ours);
    std::printf("  of which reading the 144 frames:                       %.2f s\n", readingOnly);
    std::printf("ffmpeg -ss T -frames:v 1, one process per frame:          %.2f s\n", perFrameProcess);
    std::printf("ratio: %.1fx faster (goal: at least 5x); reading alone %.1fx\n", perFrameProcess / ours,
                perFrameProcess / readingOnly);
    fs::remove_all(out);
    return 0;
}
