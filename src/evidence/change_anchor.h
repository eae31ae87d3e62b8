#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "evidence/visual_evidence_candidate.h"
#include "platform/frame_image_renderer.h"
#include "platform/raster_image.h"

namespace quillmer {

// The change detector looks only at small thumbnails, so it costs the same at any resolution.
inline constexpr int kThumbnailWidth = 128;
inline constexpr int kThumbnailHeight = 72;
// Summed red, green and blue difference at which a thumbnail pixel counts as changed.
inline constexpr int kChangedCellThreshold = 150;

struct ChangedCell {
    int column = 0;
    int row = 0;
    bool operator==(const ChangedCell&) const = default;
};

// Cells whose colour moved by at least the threshold between before and at, or between at and
// after, in row-major order. Thumbnails are RGBA, `kThumbnailWidth` × `kThumbnailHeight`.
std::vector<ChangedCell> changedCells(const std::vector<uint8_t>& before, const std::vector<uint8_t>& at,
                                      const std::vector<uint8_t>& after);

// One small region around the changed cells, or nothing when there are too few cells, too many
// (a scene switch) or they spread over too much of the grid.
std::optional<VisualChangeAnchor> anchorFromCells(int width, int height, const std::vector<ChangedCell>& cells);

std::optional<VisualChangeAnchor> detectChangeAnchor(const RasterImage& before, const RasterImage& at,
                                                     const RasterImage& after, FrameImageRenderer& renderer);

}  // namespace quillmer
