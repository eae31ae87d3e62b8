// Real-time cost of the screen writer: 1920x1080 BGRA frames at 30 fps through the FFmpeg video
// writer, then the same frames piped into the ffmpeg command-line encoder with the same settings.
//
//   quillmer_screen_encoding_bench                 20 s of video each (under a minute in all)
//   quillmer_screen_encoding_bench --seconds 600 --no-cli --rss-every 30
//                                                  ten minutes, resident memory every 30 s
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/linux/ffmpeg_media_writer_factory.h"

namespace {

using Clock = std::chrono::steady_clock;
using quillmer::VideoFrame;

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kFramesPerSecond = 30;

struct Options {
    int seconds = 20;
    bool cli = true;
    int rssEverySeconds = 0;
};

Options parse(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--seconds" && i + 1 < argc) options.seconds = std::atoi(argv[++i]);
        else if (arg == "--no-cli") options.cli = false;
        else if (arg == "--rss-every" && i + 1 < argc) options.rssEverySeconds = std::atoi(argv[++i]);
        else {
            std::fprintf(stderr, "usage: %s [--seconds N] [--no-cli] [--rss-every N]\n", argv[0]);
            std::exit(2);
        }
    }
    return options;
}

double seconds(const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; }
double cpuSeconds(int who) {
    rusage usage{};
    getrusage(who, &usage);
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}
long childrenPeakRSSKiB() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return usage.ru_maxrss;
}
// "VmRSS" or "VmHWM" (the peak since the last resetPeakRSS) of this process, in KiB.
long statusKiB(const std::string& field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.starts_with(field + ":")) return std::atol(line.c_str() + field.size() + 1);
    return 0;
}
void resetPeakRSS() { std::ofstream("/proc/self/clear_refs") << "5"; }

// Screen-like frames: a static desktop with text-like detail, a window that moves, a line of
// "typing" that grows. A small pool, reused once the writer has let go of a buffer.
class ScreenFrames {
public:
    ScreenFrames() : desktop_(static_cast<size_t>(kWidth) * kHeight * 4) {
        uint32_t seed = 12345;
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                uint8_t* p = &desktop_[(static_cast<size_t>(y) * kWidth + x) * 4];
                const bool glyph = (y % 24) < 14 && (x % 9) < 6 && ((seed = seed * 1103515245 + 12345) >> 28) < 6;
                const uint8_t shade = glyph ? 40 : static_cast<uint8_t>(230 - y / 20);
                p[0] = shade;
                p[1] = shade;
                p[2] = glyph ? 40 : 235;
                p[3] = 255;
            }
        for (int i = 0; i < 8; ++i) pool_.push_back(std::make_shared<std::vector<uint8_t>>(desktop_.size()));
    }

    VideoFrame frame(int index, double presentationSeconds) {
        std::shared_ptr<std::vector<uint8_t>> buffer;
        for (auto& candidate : pool_)
            if (candidate.use_count() == 1) buffer = candidate;
        if (!buffer) buffer = std::make_shared<std::vector<uint8_t>>(desktop_.size());  // all still queued
        std::memcpy(buffer->data(), desktop_.data(), desktop_.size());
        fill(*buffer, 200 + (index * 6) % 1000, 150 + (index * 2) % 500, 600, 400, 0x30, 0x80, 0xC0);
        fill(*buffer, 100, 1000, (index * 7) % 1700, 16, 0x20, 0x20, 0x20);
        VideoFrame frame;
        frame.presentationSeconds = presentationSeconds;
        frame.width = kWidth;
        frame.height = kHeight;
        frame.bytesPerRow = kWidth * 4;
        frame.pixels = buffer;
        return frame;
    }

private:
    static void fill(std::vector<uint8_t>& pixels, int left, int top, int width, int height, uint8_t b, uint8_t g,
                     uint8_t r) {
        for (int y = top; y < top + height && y < kHeight; ++y)
            for (int x = left; x < left + width && x < kWidth; ++x) {
                uint8_t* p = &pixels[(static_cast<size_t>(y) * kWidth + x) * 4];
                p[0] = static_cast<uint8_t>(b + (x + y) % 16);
                p[1] = g;
                p[2] = r;
            }
    }

    std::vector<uint8_t> desktop_;
    std::vector<std::shared_ptr<std::vector<uint8_t>>> pool_;
};

struct Result {
    double cpuPerVideoSecond = 0;
    int dropped = 0;
    long peakRSSKiB = 0;
    double megabitsPerSecond = 0;
    double lagSeconds = 0;  // how long after the last frame was due the file was complete
};

Result runWriter(const Options& options, const std::filesystem::path& file) {
    resetPeakRSS();
    ScreenFrames frames;
    quillmer::FfmpegMediaWriterFactory factory;
    auto writer = factory.makeVideoWriter(file, {kWidth, kHeight, 10'000'000});
    if (!writer || !writer->startWriting()) {
        std::fprintf(stderr, "the writer could not start\n");
        std::exit(1);
    }
    writer->startSession(0);

    const double processBefore = cpuSeconds(RUSAGE_SELF);
    const double feederBefore = cpuSeconds(RUSAGE_THREAD);
    const int total = options.seconds * kFramesPerSecond;
    Result result;
    const auto start = Clock::now();
    for (int i = 0; i < total; ++i) {
        const double t = static_cast<double>(i) / kFramesPerSecond;
        std::this_thread::sleep_until(start + std::chrono::duration<double>(t));
        VideoFrame frame = frames.frame(i, t);
        if (!writer->isReadyForMoreMediaData() || !writer->append(frame)) result.dropped += 1;
        if (options.rssEverySeconds > 0 && i % (options.rssEverySeconds * kFramesPerSecond) == 0)
            std::printf("  t=%4.0fs  rss %6ld MiB  dropped so far %d\n", t, statusKiB("VmRSS") / 1024, result.dropped);
    }
    writer->markAsFinished();
    writer->finishWriting();
    result.lagSeconds = std::chrono::duration<double>(Clock::now() - start).count() - (total - 1.0) / kFramesPerSecond;
    const double feeder = cpuSeconds(RUSAGE_THREAD) - feederBefore;
    result.cpuPerVideoSecond = (cpuSeconds(RUSAGE_SELF) - processBefore - feeder) / options.seconds;
    result.peakRSSKiB = statusKiB("VmHWM");
    result.megabitsPerSecond = std::filesystem::file_size(file) * 8 / 1e6 / options.seconds;
    return result;
}

// Runs before the writer and starts ffmpeg before any frame exists: a child's peak RSS counts
// from what it inherited at fork, so this keeps the measured peak ffmpeg's own.
Result runCommandLine(const Options& options, const std::filesystem::path& file) {
    const std::string command =
        "/usr/bin/ffmpeg -hide_banner -loglevel error -f rawvideo -pix_fmt bgra -s 1920x1080 -framerate 30 -i - "
        "-c:v libx264 -preset ultrafast -tune zerolatency -b:v 10M -g 60 -pix_fmt yuv420p "
        "-movflags frag_keyframe+empty_moov+delay_moov+default_base_moof -frag_duration 1000000 -y '" +
        file.string() + "'";
    const double childrenBefore = cpuSeconds(RUSAGE_CHILDREN);
    FILE* pipe = popen(command.c_str(), "w");
    if (!pipe) {
        std::perror("popen");
        std::exit(1);
    }
    ScreenFrames frames;
    const int total = options.seconds * kFramesPerSecond;
    const auto start = Clock::now();
    for (int i = 0; i < total; ++i) {
        const double t = static_cast<double>(i) / kFramesPerSecond;
        std::this_thread::sleep_until(start + std::chrono::duration<double>(t));
        const VideoFrame frame = frames.frame(i, t);
        if (std::fwrite(frame.pixels->data(), 1, frame.pixels->size(), pipe) != frame.pixels->size()) break;
    }
    pclose(pipe);
    Result result;
    result.lagSeconds = std::chrono::duration<double>(Clock::now() - start).count() - (total - 1.0) / kFramesPerSecond;
    result.cpuPerVideoSecond = (cpuSeconds(RUSAGE_CHILDREN) - childrenBefore) / options.seconds;
    result.peakRSSKiB = childrenPeakRSSKiB();
    result.megabitsPerSecond = std::filesystem::file_size(file) * 8 / 1e6 / options.seconds;
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    const Options options = parse(argc, argv);
    setvbuf(stdout, nullptr, _IOLBF, 0);  // long runs report as they go
    char folderTemplate[] = "/tmp/quillmer-bench-XXXXXX";
    if (!mkdtemp(folderTemplate)) return 1;
    const std::filesystem::path folder = folderTemplate;

    std::printf("1920x1080 BGRA, 30 fps in real time, %d s, libx264 ultrafast zerolatency 10 Mbit/s\n",
                options.seconds);
    std::optional<Result> cli;
    if (options.cli) cli = runCommandLine(options, folder / "cli.mp4");
    const Result writer = runWriter(options, folder / "writer.mp4");
    std::printf("FFmpeg video writer : %.3f CPU s per video s, %d dropped of %d, peak RSS %ld MiB (with the source "
                "frames), %.1f Mbit/s, done %.2f s after the last frame\n",
                writer.cpuPerVideoSecond, writer.dropped, options.seconds * kFramesPerSecond,
                writer.peakRSSKiB / 1024, writer.megabitsPerSecond, writer.lagSeconds);
    if (cli) {
        std::printf("ffmpeg command line : %.3f CPU s per video s, never drops (the pipe waits), peak RSS %ld MiB, "
                    "%.1f Mbit/s, done %.2f s after the last frame\n",
                    cli->cpuPerVideoSecond, cli->peakRSSKiB / 1024, cli->megabitsPerSecond, cli->lagSeconds);
        std::printf("writer / command line CPU ratio: %.2f\n", writer.cpuPerVideoSecond / cli->cpuPerVideoSecond);
    }
    std::filesystem::remove_all(folder);
    return 0;
}
