#include "evidence/change_anchor.h"

#include <gtest/gtest.h>

#include "core/uuid.h"
#include "evidence/anchor_images.h"
#include "evidence/evidence_extraction_error.h"
#include "evidence/fake_media.h"
#include "evidence/frame_extraction.h"
#include "platform/linux/ffmpeg_video_frame_reader.h"
#include "support/temporary_folder.h"
#include "support/thrown.h"

namespace quillmer {
namespace {

using testing::paintCells;
using testing::solidFrame;

constexpr uint32_t kGrey = opaquePixel(90, 90, 90);
constexpr uint32_t kWhite = opaquePixel(255, 255, 255);
constexpr uint32_t kSlightlyLighter = opaquePixel(130, 130, 130);  // a difference of 120 < 150

// 1280 × 720: every thumbnail cell is 10 × 10 pixels of the frame.
RasterImage grey() { return solidFrame(1280, 720, kGrey); }

RasterImage withCells(int column, int row, int columns, int rows, uint32_t pixel = kWhite) {
    RasterImage frame = grey();
    paintCells(frame, column, row, columns, rows, pixel);
    return frame;
}

std::optional<VisualChangeAnchor> detect(const RasterImage& before, const RasterImage& at, const RasterImage& after) {
    CairoFrameImageRenderer renderer;
    return detectChangeAnchor(before, at, after, renderer);
}

VisualChangeAnchor cellsAnchor(int x0, int y0, int x1, int y1) {
    return {x0 / 128.0, y0 / 72.0, (x1 - x0 + 1) / 128.0, (y1 - y0 + 1) / 72.0};
}

TEST(ChangeAnchor, SmallBlockGetsATwoCellMargin) {
    EXPECT_EQ(detect(grey(), grey(), grey()), std::nullopt);
    EXPECT_EQ(detect(grey(), withCells(60, 30, 2, 2), withCells(60, 30, 2, 2)), cellsAnchor(58, 28, 63, 33));
    EXPECT_EQ(detect(grey(), withCells(60, 30, 3, 1), withCells(60, 30, 3, 1)), std::nullopt);  // 3 cells
    EXPECT_EQ(detect(grey(), withCells(0, 0, 2, 2), withCells(0, 0, 2, 2)), cellsAnchor(0, 0, 3, 3));  // clamped
    EXPECT_EQ(detect(grey(), withCells(126, 70, 2, 2), withCells(126, 70, 2, 2)), cellsAnchor(124, 68, 127, 71));
    // Only between the at-moment and after frames.
    EXPECT_EQ(detect(grey(), grey(), withCells(20, 40, 2, 2)), cellsAnchor(18, 38, 23, 43));
    // A difference below the threshold is no change.
    EXPECT_EQ(detect(grey(), withCells(60, 30, 4, 4, kSlightlyLighter), grey()), std::nullopt);
}

TEST(ChangeAnchor, LargeOrScatteredChangesAreNoAnchor) {
    EXPECT_EQ(detect(grey(), solidFrame(1280, 720, kWhite), solidFrame(1280, 720, kWhite)), std::nullopt);
    RasterImage corners = grey();
    paintCells(corners, 0, 0, 2, 1, kWhite);
    paintCells(corners, 126, 71, 2, 1, kWhite);
    EXPECT_EQ(detect(grey(), corners, corners), std::nullopt);
    // Frames of any size are compared on the same grid (aspect ratio not kept).
    RasterImage small = solidFrame(256, 144, kGrey);
    paintCells(small, 10, 10, 2, 2, kWhite);
    EXPECT_EQ(detect(solidFrame(256, 144, kGrey), small, small), cellsAnchor(8, 8, 13, 13));
}

TEST(AnchorFromCells, Limits) {
    const std::vector<ChangedCell> four = {{5, 5}, {6, 5}, {5, 6}, {6, 6}};
    EXPECT_EQ(anchorFromCells(0, 72, four), std::nullopt);
    EXPECT_EQ(anchorFromCells(128, 0, four), std::nullopt);
    EXPECT_EQ(anchorFromCells(128, 72, {{5, 5}, {6, 5}, {5, 6}}), std::nullopt);

    // 1,104 cells in a compact block still make an anchor; 1,105 are a scene switch.
    std::vector<ChangedCell> block;
    for (int row = 10; row < 33; ++row)
        for (int column = 10; column < 58; ++column) block.push_back({column, row});
    ASSERT_EQ(block.size(), 1104u);
    EXPECT_EQ(anchorFromCells(128, 72, block), cellsAnchor(8, 8, 59, 34));
    block.push_back({58, 10});
    EXPECT_EQ(anchorFromCells(128, 72, block), std::nullopt);

    // A grown box just under 35 % of the grid passes, one at or over it does not.
    const auto box = [](int columns, int rows) {
        return std::vector<ChangedCell>{{10, 10}, {10 + columns - 5, 10}, {10, 10 + rows - 5}, {10 + columns - 5, 10 + rows - 5}};
    };
    EXPECT_NE(anchorFromCells(128, 72, box(64, 39)), std::nullopt);  // 64 × 39 = 2496 < 3225.6
    EXPECT_EQ(anchorFromCells(128, 72, box(64, 51)), std::nullopt);  // 64 × 51 = 3264 ≥ 3225.6
}

TEST(AnchorImages, OutlineAndCropGeometry) {
    EXPECT_NEAR(outlineLineWidth(1920), 1920.0 / 350.0, 1e-12);
    EXPECT_EQ(outlineLineWidth(640), 3.0);
    EXPECT_EQ(outlineRectangle({0.5, 0.5, 0.01, 0.01}, 1000, 500), (PixelRect{498, 248, 14, 9}));
    // A small anchor: 0.24 of the shorter side (259.2 of 1080), widened to whole pixels.
    EXPECT_EQ(focusCropRectangle({0.5, 0.5, 0.01, 0.01}, 1920, 1080), (PixelRect{840, 415, 260, 260}));
    // A large anchor: four times its larger side; near the edge, clipped by the frame.
    EXPECT_EQ(focusCropRectangle({0.25, 0.25, 0.1, 0.05}, 1000, 1000), (PixelRect{100, 75, 400, 400}));
    EXPECT_EQ(focusCropRectangle({0.0, 0.5, 0.01, 0.01}, 1920, 1080), (PixelRect{0, 415, 140, 260}));
    EXPECT_EQ(focusCropRectangle({0, 0, 0, 0}, 3, 3), std::nullopt);  // under 2 pixels either way
}

class FrameExtractionTest : public ::testing::Test {
protected:
    RasterImage png(const std::string& suffix) { return FFmpegVideoFrameReader(folder / (id.toString() + suffix)).frameAt(0); }
    testing::TemporaryFolder folder;
    CairoFrameImageRenderer renderer;
    Uuid id = Uuid::random();
};

TEST_F(FrameExtractionTest, ThreeFramesAndWithAChangeTheOutlineAndTheCrop) {
    testing::FakeVideo still([](double) { return grey(); });
    const auto plain = extractFrames(still, {1.0, 3.0, 4.0}, id, folder.path(), renderer);
    EXPECT_EQ(still.requested, (std::vector<double>{1.0, 3.0, 4.0}));
    const std::string stem = "frames/" + id.toString();
    EXPECT_EQ(plain.frameFiles, (std::vector<std::string>{stem + "-0.png", stem + "-1.png", stem + "-2.png"}));
    EXPECT_EQ(plain.visualAnchor, std::nullopt);
    EXPECT_EQ(png("-2.png").width, 1280);

    testing::FakeVideo changing([](double t) { return t < 2 ? grey() : withCells(60, 30, 2, 2); });
    const auto result = extractFrames(changing, {1.0, 3.0, 4.0}, id, folder.path(), renderer);
    ASSERT_EQ(result.visualAnchor, cellsAnchor(58, 28, 63, 33));
    ASSERT_EQ(result.frameFiles.size(), 5u);
    EXPECT_EQ(result.frameFiles[3], stem + "-change-anchor.png");
    EXPECT_EQ(result.frameFiles[4], stem + "-change-focus.png");
    // The outline runs along x = 580 - 2 (the anchor's left edge grown by 2 pixels), in blue.
    const uint32_t onOutline = png("-change-anchor.png").at(578, 300);
    EXPECT_EQ(onOutline & 0xFF, 0xFFu);
    EXPECT_LT((onOutline >> 16) & 0xFF, 40u);  // hardly any red
    // Cells 58..63 are pixels 580..640: a 60-pixel anchor, so a crop of 4 × 60 around its centre.
    EXPECT_EQ(png("-change-focus.png").width, 240);
    EXPECT_EQ(png("-change-focus.png").height, 240);
}

TEST_F(FrameExtractionTest, AnUnreadableFrameWritesNothingAndAnEmptyEncodingIsFrameEncoding) {
    testing::FakeVideo endsEarly([](double t) {
        if (t > 3.5) throw MediaError("no frame");
        return grey();
    });
    EXPECT_THROW(extractFrames(endsEarly, {1.0, 3.0, 4.0}, id, folder.path(), renderer), MediaError);
    EXPECT_TRUE(std::filesystem::is_empty(folder.path()));

    testing::FakeVideo video([](double) { return grey(); });
    testing::EncoderFailingRenderer failing;
    const auto error =
        testing::thrown<EvidenceExtractionError>([&] { extractFrames(video, {1.0, 3.0, 4.0}, id, folder.path(), failing); })
            .value();
    EXPECT_EQ(error.kind(), EvidenceExtractionErrorCase::frameEncoding);
    EXPECT_STREQ(error.what(), "Quillmer could not encode a visual evidence frame.");
}

}  // namespace
}  // namespace quillmer
