#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "platform/raster_image.h"

namespace quillmer::testing {

// Test videos made by the ffmpeg tool. Every frame shows its own index as ten black-or-white
// blocks (two rows of five, least significant bit at the top left), so a test can tell exactly
// which frame a reader returned.
inline constexpr int kIndexedVideoWidth = 160;
inline constexpr int kIndexedVideoHeight = 96;

struct IndexedVideoOptions {
    int frameCount = 90;
    int framesPerSecond = 30;
    int keyframeInterval = 24;
    int bFrames = 2;
};

// Runs the ffmpeg tool quietly with `arguments` (and `input` on its stdin); fails the current test
// (and returns false) when it fails.
bool runFFmpeg(std::vector<std::string> arguments, std::string input = {});

// Writes an H.264 MP4; fails the current test (and returns false) when ffmpeg fails.
bool makeIndexedVideo(const std::filesystem::path& file, const IndexedVideoOptions& options = {});

// A copy of `source` whose stream carries ffmpeg's "rotate" tag (stored as a display matrix).
bool makeRotatedCopy(const std::filesystem::path& source, const std::filesystem::path& file, int rotateTag);

// The index shown by an upright frame of an indexed video; -1 when the blocks are unreadable.
int indexShownBy(const RasterImage& frame);

// Turns an image `quarterTurns` × 90° counter-clockwise.
RasterImage rotatedCounterClockwise(const RasterImage& image, int quarterTurns);

}  // namespace quillmer::testing
