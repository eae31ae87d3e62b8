#include "platform/linux/ffmpeg_video_frame_reader.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "support/generated_video.h"
#include "support/temporary_folder.h"

namespace quillmer {
namespace {

using testing::indexShownBy;

class FFmpegVideoFrameReaderTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder_ = new testing::TemporaryFolder();
        ASSERT_TRUE(testing::makeIndexedVideo(video()));
        ASSERT_TRUE(testing::makeRotatedCopy(video(), rotated(), 90));
    }
    static void TearDownTestSuite() { delete folder_; }
    static std::filesystem::path video() { return *folder_ / "indexed.mp4"; }
    static std::filesystem::path rotated() { return *folder_ / "rotated.mp4"; }

    static testing::TemporaryFolder* folder_;
};

testing::TemporaryFolder* FFmpegVideoFrameReaderTest::folder_ = nullptr;

// 30 frames a second: frame k is shown from k/30 until (k+1)/30.
int expectedIndex(double seconds) { return std::clamp(static_cast<int>(std::floor(seconds * 30.0 + 1e-9)), 0, 89); }

// Interval edges, backwards across keyframes, repeated times, then random ones: one open reader
// agrees with a fresh one every time.
TEST_F(FFmpegVideoFrameReaderTest, ReturnsTheFrameWhoseIntervalContainsTheTime) {
    std::vector<double> times = {0.0, 0.5, 1.0 / 30.0, 2.0 / 30.0 - 0.001, 0.8, 0.801, 1.7, 2.9, 2.99,
                                 0.1, 2.5, 2.5, 0.0, 1.6, 1.6 + 1.0 / 30.0, 0.79};
    std::mt19937 random(7);
    std::uniform_real_distribution<double> time(0.0, 3.0);
    for (int i = 0; i < 40; ++i) times.push_back(time(random));
    FFmpegVideoFrameReader reused(video());
    for (size_t i = 0; i < times.size(); ++i) {
        EXPECT_EQ(indexShownBy(reused.frameAt(times[i])), expectedIndex(times[i])) << "at " << times[i];
        if (i % 8 == 0) {
            EXPECT_EQ(indexShownBy(FFmpegVideoFrameReader(video()).frameAt(times[i])), expectedIndex(times[i]));
        }
    }
}

// Before the first frame is the first frame; the last frame answers only to its own interval, so
// it is never passed off as a later time's picture.
TEST_F(FFmpegVideoFrameReaderTest, TimesOutsideTheVideo) {
    FFmpegVideoFrameReader reader(video());
    EXPECT_EQ(indexShownBy(reader.frameAt(-1.0)), 0);
    EXPECT_EQ(indexShownBy(reader.frameAt(2.97)), 89);
    EXPECT_EQ(indexShownBy(reader.frameAt(3.0)), 89);  // where its interval ends
    EXPECT_THROW(reader.frameAt(3.1), FrameBeyondEndError);
    EXPECT_THROW(reader.frameAt(60.0), FrameBeyondEndError);
    EXPECT_EQ(indexShownBy(reader.frameAt(1.0)), 30);  // and the reader goes on
    EXPECT_THROW(reader.frameAt(std::nan("")), MediaError);
}

TEST_F(FFmpegVideoFrameReaderTest, AppliesTheStreamRotation) {
    FFmpegVideoFrameReader reader(rotated());
    const RasterImage frame = reader.frameAt(1.0);
    ASSERT_EQ(frame.width, testing::kIndexedVideoHeight);
    ASSERT_EQ(frame.height, testing::kIndexedVideoWidth);
    // The tag turns the picture a quarter counter-clockwise; turning it back shows the coded picture.
    EXPECT_EQ(indexShownBy(testing::rotatedCounterClockwise(frame, 3)), 30);
    EXPECT_EQ(indexShownBy(testing::rotatedCounterClockwise(reader.frameAt(0.4), 3)), 12);
}

TEST_F(FFmpegVideoFrameReaderTest, MissingBrokenOrNonRegularFilesAreMediaErrors) {
    testing::writeTestFile(*folder_ / "broken.mp4", "not a video at all");
    ASSERT_EQ(::mkfifo((*folder_ / "pipe.mp4").c_str(), 0600), 0);  // would block a plain open()
    for (const char* name : {"absent.mp4", "broken.mp4", "pipe.mp4"})
        EXPECT_THROW(FFmpegVideoFrameReader(*folder_ / name), MediaError) << name;
}

}  // namespace
}  // namespace quillmer
