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

// Answers every request from a function of the time and records the times asked for.
class FakeVideoFrameReader final : public VideoFrameReader {
public:
    explicit FakeVideoFrameReader(std::function<RasterImage(double)> frames, std::vector<double>* log = nullptr)
        : frames_(std::move(frames)), log_(log ? log : &requested) {}
    RasterImage frameAt(double seconds) override {
        log_->push_back(seconds);
        return frames_(seconds);
    }
    std::vector<double> requested;

private:
    std::function<RasterImage(double)> frames_;
    std::vector<double>* log_;
};

class FakeVideoFrameReaderFactory final : public VideoFrameReaderFactory {
public:
    explicit FakeVideoFrameReaderFactory(std::function<RasterImage(double)> frames) : frames_(std::move(frames)) {}
    std::unique_ptr<VideoFrameReader> open(const std::filesystem::path& file) override {
        opened.push_back(file);
        return std::make_unique<FakeVideoFrameReader>(frames_, &requested);
    }
    std::vector<std::filesystem::path> opened;
    std::vector<double> requested;  // by every reader opened, in order

private:
    std::function<RasterImage(double)> frames_;
};

// The real Cairo renderer, except that PNG encoding produces nothing after `goodEncodings` calls.
class EncoderFailingRenderer final : public FrameImageRenderer {
public:
    explicit EncoderFailingRenderer(int goodEncodings = 0) : goodEncodings_(goodEncodings) {}
    std::optional<std::vector<uint8_t>> thumbnail(const RasterImage& image, int width, int height) override {
        return real_.thumbnail(image, width, height);
    }
    std::optional<RasterImage> outlined(const RasterImage& image, const PixelRect& rectangle, double lineWidth) override {
        return real_.outlined(image, rectangle, lineWidth);
    }
    std::optional<RasterImage> cropped(const RasterImage& image, const PixelRect& rectangle) override {
        return real_.cropped(image, rectangle);
    }
    std::string encodePNG(const RasterImage& image) override {
        return encodings_++ < goodEncodings_ ? real_.encodePNG(image) : std::string();
    }

private:
    CairoFrameImageRenderer real_;
    int goodEncodings_;
    std::atomic<int> encodings_{0};
};

}  // namespace quillmer::testing
