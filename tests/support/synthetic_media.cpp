#include "support/synthetic_media.h"

#include <cmath>
#include <numbers>

namespace quillmer::testing {

VideoFrame makeTestFrame(int width, int height, int index, double presentationSeconds) {
    VideoFrame frame;
    frame.presentationSeconds = presentationSeconds;
    frame.width = width;
    frame.height = height;
    frame.bytesPerRow = width * 4;
    auto pixels = std::make_shared<std::vector<uint8_t>>(static_cast<size_t>(frame.bytesPerRow) * height);
    const int barLeft = (index * 8) % width;
    for (int y = 0; y < height; ++y) {
        uint8_t* row = pixels->data() + static_cast<size_t>(y) * frame.bytesPerRow;
        for (int x = 0; x < width; ++x) {
            const bool bar = x >= barLeft && x < barLeft + width / 10;
            row[4 * x + 0] = bar ? 255 : static_cast<uint8_t>(x * 255 / width);
            row[4 * x + 1] = bar ? 255 : static_cast<uint8_t>(y * 255 / height);
            row[4 * x + 2] = static_cast<uint8_t>(index * 3);
            row[4 * x + 3] = 255;
        }
    }
    frame.pixels = std::move(pixels);
    return frame;
}

AudioBuffer makeTestTone(int sampleRate, int channels, double seconds, double presentationSeconds, double frequency) {
    AudioBuffer buffer;
    buffer.presentationSeconds = presentationSeconds;
    buffer.sampleRate = sampleRate;
    buffer.channels = channels;
    const int frames = static_cast<int>(std::lround(seconds * sampleRate));
    buffer.samples.resize(static_cast<size_t>(frames) * channels);
    for (int i = 0; i < frames; ++i) {
        const double t = presentationSeconds + static_cast<double>(i) / sampleRate;
        const float value = static_cast<float>(0.5 * std::sin(2 * std::numbers::pi * frequency * t));
        for (int c = 0; c < channels; ++c) buffer.samples[static_cast<size_t>(i) * channels + c] = value;
    }
    return buffer;
}

}  // namespace quillmer::testing
