#pragma once

#include <cstdint>
#include <vector>

namespace quillmer {

// A full-size decoded frame: `width` × `height` pixels, rows from the top, no padding. Each pixel is
// one native-endian 32-bit word 0xAARRGGBB with premultiplied colour, the layout both FFmpeg
// (AV_PIX_FMT_RGB32) and Cairo (CAIRO_FORMAT_ARGB32) use, so frames pass between them uncopied.
struct RasterImage {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;

    bool isValid() const {
        return width > 0 && height > 0 && pixels.size() == static_cast<size_t>(width) * static_cast<size_t>(height);
    }
    uint32_t& at(int x, int y) { return pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)]; }
    uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)]; }
};

// An opaque pixel from 8-bit channels.
constexpr uint32_t opaquePixel(uint8_t red, uint8_t green, uint8_t blue) {
    return 0xFF000000u | (uint32_t{red} << 16) | (uint32_t{green} << 8) | uint32_t{blue};
}

}  // namespace quillmer
