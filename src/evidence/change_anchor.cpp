#include "evidence/change_anchor.h"

#include <algorithm>
#include <cstdlib>

namespace quillmer {

namespace {

// Fewer changed cells than this is noise, not a control.
constexpr size_t kMinimumChangedCells = 4;
// This share of the grid or more changed at once is a scene switch, too large to be one control.
constexpr double kMaximumChangedShare = 0.12;
// Cells added around the changed cells' bounding box.
constexpr int kMarginCells = 2;
// A grown region covering this much of the grid is too spread out to point at anything.
constexpr double kMaximumAnchorArea = 0.35;

int pixelDifference(const uint8_t* a, const uint8_t* b) {
    return std::abs(a[0] - b[0]) + std::abs(a[1] - b[1]) + std::abs(a[2] - b[2]);
}

}  // namespace

std::vector<ChangedCell> changedCells(const std::vector<uint8_t>& before, const std::vector<uint8_t>& at,
                                      const std::vector<uint8_t>& after) {
    constexpr size_t bytes = static_cast<size_t>(kThumbnailWidth) * kThumbnailHeight * 4;
    std::vector<ChangedCell> cells;
    if (before.size() != bytes || at.size() != bytes || after.size() != bytes) return cells;
    for (int row = 0; row < kThumbnailHeight; ++row) {
        for (int column = 0; column < kThumbnailWidth; ++column) {
            const size_t offset = (static_cast<size_t>(row) * kThumbnailWidth + static_cast<size_t>(column)) * 4;
            const int d1 = pixelDifference(&before[offset], &at[offset]);
            const int d2 = pixelDifference(&at[offset], &after[offset]);
            if (std::max(d1, d2) >= kChangedCellThreshold) cells.push_back({column, row});
        }
    }
    return cells;
}

std::optional<VisualChangeAnchor> anchorFromCells(int width, int height, const std::vector<ChangedCell>& cells) {
    if (width < 1 || height < 1) return std::nullopt;
    if (cells.size() < kMinimumChangedCells) return std::nullopt;
    const auto tooMany = static_cast<size_t>(static_cast<double>(width) * height * kMaximumChangedShare);
    if (cells.size() >= tooMany) return std::nullopt;

    int minColumn = cells.front().column, maxColumn = minColumn;
    int minRow = cells.front().row, maxRow = minRow;
    for (const auto& cell : cells) {
        minColumn = std::min(minColumn, cell.column);
        maxColumn = std::max(maxColumn, cell.column);
        minRow = std::min(minRow, cell.row);
        maxRow = std::max(maxRow, cell.row);
    }
    const int x0 = std::max(minColumn - kMarginCells, 0);
    const int x1 = std::min(maxColumn + kMarginCells, width - 1);
    const int y0 = std::max(minRow - kMarginCells, 0);
    const int y1 = std::min(maxRow + kMarginCells, height - 1);
    const double w = static_cast<double>(x1 - x0 + 1) / width;
    const double h = static_cast<double>(y1 - y0 + 1) / height;
    if (w * h >= kMaximumAnchorArea) return std::nullopt;
    return VisualChangeAnchor{static_cast<double>(x0) / width, static_cast<double>(y0) / height, w, h};
}

std::optional<VisualChangeAnchor> detectChangeAnchor(const RasterImage& before, const RasterImage& at,
                                                     const RasterImage& after, FrameImageRenderer& renderer) {
    const auto thumbBefore = renderer.thumbnail(before, kThumbnailWidth, kThumbnailHeight);
    const auto thumbAt = renderer.thumbnail(at, kThumbnailWidth, kThumbnailHeight);
    const auto thumbAfter = renderer.thumbnail(after, kThumbnailWidth, kThumbnailHeight);
    if (!thumbBefore || !thumbAt || !thumbAfter) return std::nullopt;
    return anchorFromCells(kThumbnailWidth, kThumbnailHeight, changedCells(*thumbBefore, *thumbAt, *thumbAfter));
}

}  // namespace quillmer
