#pragma once

#include <filesystem>
#include <memory>

#include "core/error.h"
#include "platform/raster_image.h"

namespace quillmer {

// A video that cannot be opened or decoded, or a time it has no frame for.
class MediaError : public Error {
public:
    using Error::Error;
};

// Reads single frames of one video at exact times. One reader stays open for a whole run, so
// successive requests share the demuxer and decoder instead of reopening the file per frame.
class VideoFrameReader {
public:
    virtual ~VideoFrameReader() = default;

    // The frame whose presentation interval contains `seconds` (measured on the file's own
    // timeline), at the video's display size and orientation. A time before the first frame
    // gives the first frame, a time after the last the last. Throws MediaError.
    virtual RasterImage frameAt(double seconds) = 0;
};

class VideoFrameReaderFactory {
public:
    virtual ~VideoFrameReaderFactory() = default;
    // Throws MediaError when the file is missing or holds no decodable video.
    virtual std::unique_ptr<VideoFrameReader> open(const std::filesystem::path& file) = 0;
};

}  // namespace quillmer
