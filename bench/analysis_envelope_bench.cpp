// Building the relay request bodies for 16 evidence candidates with three 1080p PNG frames each:
// the client's streaming build (frames Base64-encoded straight into the body) beside the obvious
// alternative, a JSON tree holding every Base64 text and then dumped whole. Time is the best of
// five rounds over the 16 candidates; peak memory is the child process's maximum resident set
// while building them, over an idle child's. Frame contents do not matter to either build, so the
// files are random bytes of a typical 1080p screenshot PNG's size.
// Run: build/bench/analysis_envelope_bench [kilobytes per frame, default 1500]
#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "analysis/candidate_frames.h"
#include "analysis/hosted_analysis_client.h"
#include "core/base64.h"
#include "core/json.h"

namespace fs = std::filesystem;
using namespace quillmer;
using Clock = std::chrono::steady_clock;
using Candidate = EvidenceBundleDocument::Candidate;

namespace {

// The alternative: everything as one JSON tree, then one dump.
std::string treeEnvelope(const Uuid& meeting, const Candidate& candidate, const fs::path& bundle) {
    Json frames = Json::array();
    forEachCandidateFrame(candidate, bundle, [&](const std::string& path, std::string_view mime, std::string_view bytes) {
        frames.push_back({{"path", path}, {"mimeType", std::string(mime)}, {"base64", encodeBase64(bytes)}});
    });
    Json payload = {{"id", candidate.id.toString()},
                    {"rangeStartSeconds", candidate.rangeStartSeconds},
                    {"rangeEndSeconds", candidate.rangeEndSeconds},
                    {"trigger", candidate.trigger},
                    {"transcriptContext", candidate.transcriptContext},
                    {"frames", std::move(frames)}};
    return encodeCompactJSON(Json{{"meetingID", meeting.toString()}, {"candidate", std::move(payload)}});
}

using Build = std::function<size_t()>;

double bestSeconds(const Build& build) {
    double best = 1e9;
    for (int round = 0; round < 5; ++round) {
        const auto start = Clock::now();
        build();
        best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
    }
    return best;
}

// Peak resident kilobytes of a child that runs `build` once.
long peakKilobytes(const Build& build) {
    const pid_t child = fork();
    if (child == 0) {
        // A fixed threshold: large blocks are mapped and unmapped each time, so the peak counts the
        // child's own allocations rather than heap the parent left resident.
        mallopt(M_MMAP_THRESHOLD, 128 * 1024);
        build();
        _exit(0);
    }
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    return usage.ru_maxrss;
}

}  // namespace

int main(int argc, char** argv) {
    const size_t frameBytes = static_cast<size_t>(argc > 1 ? std::max(1, std::atoi(argv[1])) : 1500) * 1024;
    const fs::path bundle = fs::temp_directory_path() / "quillmer-bench-envelope";
    fs::remove_all(bundle);
    fs::create_directories(bundle / "frames");
    std::mt19937 random(7);
    std::vector<Candidate> candidates(16);
    for (auto& candidate : candidates) {
        candidate.id = Uuid::random();
        candidate.rangeStartSeconds = 12.5;
        candidate.rangeEndSeconds = 20;
        candidate.trigger = "this button";
        candidate.transcriptContext = std::string(4000, 'w');
        for (const char* moment : {"before", "at", "after"}) {
            const std::string path = "frames/" + candidate.id.toString() + "-" + moment + ".png";
            std::string bytes(frameBytes, '\0');
            for (char& byte : bytes) byte = static_cast<char>(random());
            std::ofstream(bundle / path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
            candidate.frames.push_back({path, "", static_cast<int64_t>(bytes.size())});
        }
    }
    const Uuid meeting = Uuid::random();
    const auto over = [&](auto envelope) -> Build {
        return [&, envelope] {
            size_t total = 0;
            for (const auto& candidate : candidates) total += envelope(meeting, candidate, bundle).size();
            return total;
        };
    };
    const Build streaming = over(candidateEnvelope);
    const Build tree = over(treeEnvelope);
    const long idle = peakKilobytes([] { return size_t{0}; });
    const long streamingPeak = peakKilobytes(streaming) - idle;
    const long treePeak = peakKilobytes(tree) - idle;
    if (parseJSON(candidateEnvelope(meeting, candidates[0], bundle)) != parseJSON(treeEnvelope(meeting, candidates[0], bundle)))
        std::printf("the two builds differ\n");
    const double streamingSeconds = bestSeconds(streaming);
    const double treeSeconds = bestSeconds(tree);
    std::printf("16 candidates x 3 frames of %zu KiB\n", frameBytes / 1024);
    std::printf("streaming build: %8.1f ms  peak +%6ld KiB\n", streamingSeconds * 1000, streamingPeak);
    std::printf("JSON tree, dump: %8.1f ms  peak +%6ld KiB\n", treeSeconds * 1000, treePeak);
    std::printf("tree / streaming: time %.2fx, peak memory %.2fx\n", treeSeconds / streamingSeconds,
                static_cast<double>(treePeak) / static_cast<double>(std::max(1L, streamingPeak)));
    fs::remove_all(bundle);
}
