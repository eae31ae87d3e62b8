// Whole-process timings of recording import on a long 1080p H.264 recording:
//   import (fingerprint + remux of screen.mp4 + system-audio.m4a) beside `ffmpeg -c copy` of the same file,
//   the streamed fingerprint beside `sha256sum`, and the import's peak memory for a short and a long file.
// Usage: recording_import_bench [--minutes N] [--long]   (default 3 minutes; --long means 10)
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "capture/session_importer.h"
#include "core/sha256.h"
#include "platform/linux/ffmpeg_recording_asset.h"
#include "platform/linux/posix_process_runner.h"

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

std::string run(const std::string& program, const std::vector<std::string>& arguments) {
    quillmer::PosixProcessRunner runner;
    const auto result = runner.run({program, arguments, std::nullopt, ""});
    if (!result.succeeded()) throw std::runtime_error(program + " failed: " + result.standardError);
    return result.standardOutput;
}

double timed(const std::string& program, const std::vector<std::string>& arguments) {
    const auto start = Clock::now();
    run(program, arguments);
    return secondsSince(start);
}

// A screen-like 1080p30 recording with sound, made fast (ultrafast) and kept between runs.
std::filesystem::path recording(const std::filesystem::path& folder, int seconds) {
    const auto file = folder / ("screen-1080p-" + std::to_string(seconds) + "s.mp4");
    if (std::filesystem::exists(file)) return file;
    const auto length = std::to_string(seconds);
    std::cerr << "generating " << file << "\n";
    run("/usr/bin/ffmpeg", {"-v", "error", "-y", "-f", "lavfi", "-i", "testsrc2=size=1920x1080:rate=30:duration=" + length,
                            "-f", "lavfi", "-i", "sine=frequency=300:duration=" + length, "-c:v", "libx264", "-preset",
                            "ultrafast", "-crf", "23", "-pix_fmt", "yuv420p", "-c:a", "aac", "-shortest", file.string()});
    return file;
}

long peakKilobytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Child mode: one import, then "seconds peak-kB" on stdout.
int measureImport(const std::string& file) {
    quillmer::FfmpegRecordingAssetLoader loader;
    const quillmer::SessionImporter importer(loader);
    const auto start = Clock::now();
    importer.importRecording(file);
    std::cout << secondsSince(start) << " " << peakKilobytes() << "\n";
    return 0;
}

std::pair<double, long> importInChild(const std::filesystem::path& file) {
    double seconds = 0;
    long kilobytes = 0;
    std::sscanf(run("/proc/self/exe", {"--measure-import", file.string()}).c_str(), "%lf %ld", &seconds, &kilobytes);
    return {seconds, kilobytes};
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    if (arguments.size() == 2 && arguments[0] == "--measure-import") return measureImport(arguments[1]);
    int minutes = 3;
    for (size_t i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == "--long") minutes = 10;
        else if (arguments[i] == "--minutes" && i + 1 < arguments.size()) minutes = std::stoi(arguments[++i]);
    }
    const auto work = std::filesystem::temp_directory_path() / "quillmer-import-bench";
    std::filesystem::create_directories(work);
    // Imports land in a private library that is emptied after every run.
    const auto library = work / "library";
    ::setenv("XDG_DATA_HOME", library.c_str(), 1);

    const auto shortFile = recording(work, 20);
    const auto longFile = recording(work, minutes * 60);
    const double megabytes = static_cast<double>(std::filesystem::file_size(longFile)) / (1 << 20);
    std::cout << "recording: " << longFile.filename().string() << ", " << megabytes << " MiB\n";

    // Warm the page cache once so every contender reads from memory alike.
    const double sha256sum = timed("/usr/bin/sha256sum", {longFile.string()});
    const auto hashStart = Clock::now();
    quillmer::sha256HexOfFile(longFile);
    const double fingerprint = secondsSince(hashStart);
    const double sha256sumAgain = timed("/usr/bin/sha256sum", {longFile.string()});
    const double reference = std::min(sha256sum, sha256sumAgain);
    std::cout << "fingerprint: " << megabytes / fingerprint << " MiB/s, sha256sum: " << megabytes / reference
              << " MiB/s, ratio " << 100 * reference / fingerprint << " % (goal >= 80 %)\n";

    const auto copy = work / "copy.mp4";
    const double ffmpegCopy = timed("/usr/bin/ffmpeg", {"-v", "error", "-y", "-i", longFile.string(), "-c", "copy", copy.string()});
    std::filesystem::remove(copy);
    const auto [importSeconds, importPeak] = importInChild(longFile);
    std::filesystem::remove_all(library);
    std::cout << "import: " << importSeconds << " s, ffmpeg -c copy: " << ffmpegCopy << " s, ratio "
              << importSeconds / ffmpegCopy << " x (goal <= 1.2 x); the fingerprint, read beside the export, alone takes "
              << fingerprint << " s\n";

    const auto [shortSeconds, shortPeak] = importInChild(shortFile);
    std::filesystem::remove_all(library);
    std::cout << "peak memory: " << shortPeak / 1024 << " MiB importing 20 s, " << importPeak / 1024 << " MiB importing "
              << minutes * 60 << " s (" << shortSeconds << " s for the short one)\n";
    return 0;
}
