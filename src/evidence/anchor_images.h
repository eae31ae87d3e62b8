#pragma once

#include <optional>

#include "evidence/visual_evidence_candidate.h"
#include "platform/frame_image_renderer.h"
#include "platform/raster_image.h"

namespace quillmer {

// The anchor in pixels of a `width` × `height` frame.
PixelRect anchorRectangle(const VisualChangeAnchor& anchor, int width, int height);

// The outline drawn on the annotated frame: the anchor grown by 2 pixels on every side.
PixelRect outlineRectangle(const VisualChangeAnchor& anchor, int width, int height);
// max(width / 350, 3): visible on any screen size without hiding what it marks.
double outlineLineWidth(int width);

// The square around the anchor that the focused crop shows, clipped to the frame and widened to
// whole pixels; nothing when less than 2 pixels remain in either direction.
std::optional<PixelRect> focusCropRectangle(const VisualChangeAnchor& anchor, int width, int height);

std::optional<RasterImage> annotateFrame(const RasterImage& frame, const VisualChangeAnchor& anchor,
                                         FrameImageRenderer& renderer);
std::optional<RasterImage> focusCrop(const RasterImage& frame, const VisualChangeAnchor& anchor,
                                     FrameImageRenderer& renderer);

}  // namespace quillmer
