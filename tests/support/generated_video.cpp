#include "support/generated_video.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/linux/posix_process_runner.h"

namespace quillmer::testing {

namespace {

constexpr int kBlockColumns = 5;
constexpr int kBits = 10;

int blockWidth() { return kIndexedVideoWidth / kBlockColumns; }
int blockHeight() { return kIndexedVideoHeight / 2; }

}  // namespace

bool runFFmpeg(std::vector<std::string> arguments, std::string input) {
    PosixProcessRunner runner;
    arguments.insert(arguments.begin(), {"-hide_banner", "-loglevel", "error", "-nostdin", "-y"});
    if (!input.empty()) arguments.erase(std::find(arguments.begin(), arguments.end(), "-nostdin"));
    const auto result = runner.run({"/usr/bin/ffmpeg", arguments, std::nullopt, std::move(input)});
    EXPECT_TRUE(result.succeeded()) << result.launchError << result.standardError;
    return result.succeeded();
}

bool makeIndexedVideo(const std::filesystem::path& file, const IndexedVideoOptions& options) {
    std::string raw;
    raw.reserve(static_cast<size_t>(options.frameCount) * kIndexedVideoWidth * kIndexedVideoHeight * 3);
    for (int index = 0; index < options.frameCount; ++index) {
        for (int y = 0; y < kIndexedVideoHeight; ++y) {
            for (int x = 0; x < kIndexedVideoWidth; ++x) {
                const int bit = (y / blockHeight()) * kBlockColumns + x / blockWidth();
                const char value = (index >> bit) & 1 ? static_cast<char>(255) : 0;
                raw.append(3, value);
            }
        }
    }
    const std::string size = std::to_string(kIndexedVideoWidth) + "x" + std::to_string(kIndexedVideoHeight);
    return runFFmpeg({"-f", "rawvideo", "-pix_fmt", "rgb24", "-s", size, "-r", std::to_string(options.framesPerSecond),
                      "-i", "-", "-c:v", "libx264", "-preset", "veryfast", "-crf", "12", "-pix_fmt", "yuv420p", "-g",
                      std::to_string(options.keyframeInterval), "-bf", std::to_string(options.bFrames), file.string()},
                     std::move(raw));
}

bool makeRotatedCopy(const std::filesystem::path& source, const std::filesystem::path& file, int rotateTag) {
    return runFFmpeg(
        {"-i", source.string(), "-c", "copy", "-metadata:s:v:0", "rotate=" + std::to_string(rotateTag), file.string()});
}

int indexShownBy(const RasterImage& frame) {
    if (frame.width != kIndexedVideoWidth || frame.height != kIndexedVideoHeight) return -1;
    int index = 0;
    for (int bit = 0; bit < kBits; ++bit) {
        const int x = (bit % kBlockColumns) * blockWidth() + blockWidth() / 2;
        const int y = (bit / kBlockColumns) * blockHeight() + blockHeight() / 2;
        const int green = static_cast<int>((frame.at(x, y) >> 8) & 0xFF);
        if (green > 96 && green < 160) return -1;
        if (green >= 160) index |= 1 << bit;
    }
    return index;
}

RasterImage rotatedCounterClockwise(const RasterImage& image, int quarterTurns) {
    RasterImage current = image;
    for (int turn = 0; turn < ((quarterTurns % 4) + 4) % 4; ++turn) {
        RasterImage next;
        next.width = current.height;
        next.height = current.width;
        next.pixels.resize(current.pixels.size());
        for (int y = 0; y < current.height; ++y)
            for (int x = 0; x < current.width; ++x) next.at(y, current.width - 1 - x) = current.at(x, y);
        current = std::move(next);
    }
    return current;
}

}  // namespace quillmer::testing
