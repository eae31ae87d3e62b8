#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

#include "platform/frame_image_renderer.h"
#include "platform/linux/cairo_frame_image_renderer.h"
#include "platform/video_frame_reader.h"

namespace quillmer::testing {

// A frame filled with one colour.
inline RasterImage solidFrame(int width, int height, uint32_t pixel) {
    RasterImage image;
    image.width = width;
    image.height = height;
    image.pixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height), pixel);
    return image;
}

// Paints whole thumbnail cells of a frame whose size is a multiple of the 128 × 72 grid.
inline void paintCells(RasterImage& image, int column, int row, int columns, int rows, uint32_t pixel) {
    const int cellWidth = image.width / 128, cellHeight = image.height / 72;
    for (int y = row * cellHeight; y < (row + rows) * cellHeight; ++y)
        for (int x = column * cellWidth; x < (column + columns) * cellWidth; ++x) image.at(x, y) = pixel;
}

// A video made from a function of the time: a reader itself, and a factory whose readers all answer
// from it. Records the files opened and every time asked for, in order.
class FakeVideo final : public VideoFrameReaderFactory, public VideoFrameReader {
public:
    explicit FakeVideo(std::function<RasterImage(double)> frames) : frames_(std::move(frames)) {}
    RasterImage frameAt(double seconds) override {
        requested.push_back(seconds);
        return frames_(seconds);
    }
    std::unique_ptr<VideoFrameReader> open(const std::filesystem::path& file) override {
        opened.push_back(file);
        struct Reader final : VideoFrameReader {
            FakeVideo& video;
            explicit Reader(FakeVideo& v) : video(v) {}
            RasterImage frameAt(double seconds) override { return video.frameAt(seconds); }
        };
        return std::make_unique<Reader>(*this);
    }
    std::vector<std::filesystem::path> opened;
    std::vector<double> requested;

private:
    std::function<RasterImage(double)> frames_;
};

// The real Cairo renderer, except that PNG encoding produces nothing after `goodEncodings` calls.
class EncoderFailingRenderer final : public FrameImageRenderer {
public:
    explicit EncoderFailingRenderer(int goodEncodings = 0) : goodEncodings_(goodEncodings) {}
    std::optional<std::vector<uint8_t>> thumbnail(const RasterImage& i, int w, int h) override { return real_.thumbnail(i, w, h); }
    std::optional<RasterImage> outlined(const RasterImage& i, const PixelRect& r, double w) override { return real_.outlined(i, r, w); }
    std::optional<RasterImage> cropped(const RasterImage& i, const PixelRect& r) override { return real_.cropped(i, r); }
    std::string encodePNG(const RasterImage& image) override {
        return encodings_++ < goodEncodings_ ? real_.encodePNG(image) : std::string();
    }

private:
    CairoFrameImageRenderer real_;
    int goodEncodings_;
    std::atomic<int> encodings_{0};
};

}  // namespace quillmer::testing
