#pragma once

#include <filesystem>
#include <memory>

#include "platform/video_frame_reader.h"

namespace quillmer {

// Exact-time frames through libavformat/libavcodec. The file stays open for the reader's life:
// a request seeks to the nearest keyframe before the time and decodes forward, and a later time
// in the same group of pictures continues from where the previous request stopped.
class FFmpegVideoFrameReader final : public VideoFrameReader {
public:
    explicit FFmpegVideoFrameReader(const std::filesystem::path& file);  // throws MediaError
    ~FFmpegVideoFrameReader() override;

    RasterImage frameAt(double seconds) override;

private:
    struct State;
    std::unique_ptr<State> state_;
};

class FFmpegVideoFrameReaderFactory final : public VideoFrameReaderFactory {
public:
    std::unique_ptr<VideoFrameReader> open(const std::filesystem::path& file) override {
        return std::make_unique<FFmpegVideoFrameReader>(file);
    }
};

}  // namespace quillmer
