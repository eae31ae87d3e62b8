#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/raster_image.h"

namespace quillmer {

// A rectangle in pixels, origin at the top-left corner.
struct PixelRect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;
    bool operator==(const PixelRect&) const = default;
};

// The drawing the evidence stage needs: small thumbnails, an outline, a crop and PNG encoding.
// "Nothing" means the bitmap could not be made; callers treat that as a missing picture.
class FrameImageRenderer {
public:
    virtual ~FrameImageRenderer() = default;

    // The image scaled (aspect ratio not kept, low-quality interpolation) onto a zero-filled
    // `width` × `height` bitmap; 4 bytes a pixel in the order red, green, blue, alpha
    // (premultiplied), rows from the top, no padding.
    virtual std::optional<std::vector<uint8_t>> thumbnail(const RasterImage& image, int width, int height) = 0;

    // A copy of the image with `rectangle` stroked in blue, `lineWidth` pixels wide.
    virtual std::optional<RasterImage> outlined(const RasterImage& image, const PixelRect& rectangle,
                                                double lineWidth) = 0;

    // The part of the image inside `rectangle` (integral edges, inside the image).
    virtual std::optional<RasterImage> cropped(const RasterImage& image, const PixelRect& rectangle) = 0;

    // Standard PNG bytes; empty when the encoder produced nothing.
    virtual std::string encodePNG(const RasterImage& image) = 0;
};

}  // namespace quillmer
