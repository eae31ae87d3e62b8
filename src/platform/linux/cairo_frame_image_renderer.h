#pragma once

#include "platform/frame_image_renderer.h"

namespace quillmer {

// Thumbnails, outlines and crops drawn with Cairo image surfaces; PNG files through libpng.
class CairoFrameImageRenderer final : public FrameImageRenderer {
public:
    std::optional<std::vector<uint8_t>> thumbnail(const RasterImage& image, int width, int height) override;
    std::optional<RasterImage> outlined(const RasterImage& image, const PixelRect& rectangle, double lineWidth) override;
    std::optional<RasterImage> cropped(const RasterImage& image, const PixelRect& rectangle) override;
    std::string encodePNG(const RasterImage& image) override;
};

}  // namespace quillmer
