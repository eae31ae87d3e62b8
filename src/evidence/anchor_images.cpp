#include "evidence/anchor_images.h"

#include <algorithm>
#include <cmath>

namespace quillmer {

namespace {

constexpr double kOutlineGrowth = 2.0;
constexpr double kOutlineWidthDivisor = 350.0;
constexpr double kMinimumOutlineWidth = 3.0;
// The crop shows the anchor at a quarter of its side, but never less than this share of the frame.
constexpr double kCropAnchorScale = 4.0;
constexpr double kMinimumCropShare = 0.24;
constexpr double kMinimumCropSide = 2.0;

}  // namespace

PixelRect anchorRectangle(const VisualChangeAnchor& anchor, int width, int height) {
    return {width * anchor.x, height * anchor.y, width * anchor.width, height * anchor.height};
}

PixelRect outlineRectangle(const VisualChangeAnchor& anchor, int width, int height) {
    const PixelRect r = anchorRectangle(anchor, width, height);
    return {r.x - kOutlineGrowth, r.y - kOutlineGrowth, r.width + 2 * kOutlineGrowth, r.height + 2 * kOutlineGrowth};
}

double outlineLineWidth(int width) { return std::max(width / kOutlineWidthDivisor, kMinimumOutlineWidth); }

std::optional<PixelRect> focusCropRectangle(const VisualChangeAnchor& anchor, int width, int height) {
    const PixelRect r = anchorRectangle(anchor, width, height);
    const double side = std::max(kCropAnchorScale * std::max(r.width, r.height), kMinimumCropShare * std::min(width, height));
    const double centerX = r.x + r.width / 2, centerY = r.y + r.height / 2;
    const double left = std::max(centerX - side / 2, 0.0);
    const double top = std::max(centerY - side / 2, 0.0);
    const double right = std::min(centerX + side / 2, static_cast<double>(width));
    const double bottom = std::min(centerY + side / 2, static_cast<double>(height));
    if (!(right > left) || !(bottom > top)) return std::nullopt;
    const PixelRect integral{std::floor(left), std::floor(top), std::ceil(right) - std::floor(left),
                             std::ceil(bottom) - std::floor(top)};
    if (integral.width < kMinimumCropSide || integral.height < kMinimumCropSide) return std::nullopt;
    return integral;
}

std::optional<RasterImage> annotateFrame(const RasterImage& frame, const VisualChangeAnchor& anchor,
                                         FrameImageRenderer& renderer) {
    if (!frame.isValid()) return std::nullopt;
    return renderer.outlined(frame, outlineRectangle(anchor, frame.width, frame.height), outlineLineWidth(frame.width));
}

std::optional<RasterImage> focusCrop(const RasterImage& frame, const VisualChangeAnchor& anchor,
                                     FrameImageRenderer& renderer) {
    if (!frame.isValid()) return std::nullopt;
    const auto rectangle = focusCropRectangle(anchor, frame.width, frame.height);
    if (!rectangle) return std::nullopt;
    return renderer.cropped(frame, *rectangle);
}

}  // namespace quillmer
