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

// The video has no picture at that time: it ends before it (for example a recording cut short
// whose header still claims its full length).
class FrameBeyondEndError : public MediaError {
public:
    using MediaError::MediaError;
};

// Reads single frames of one video at exact times. One reader stays open for a whole run, so
// successive requests share the demuxer and decoder instead of reopening the file per frame.
class VideoFrameReader {
public:
    virtual ~VideoFrameReader() = default;

    // The frame whose presentation interval contains `seconds` (measured on the file's own
    // timeline), at the video's display size and orientation. A time before the first frame
    // gives the first frame, and the end of the last frame's interval still gives the last; a
    // later time throws FrameBeyondEndError rather than pass the last picture off as that time's.
    // Throws MediaError.
    virtual RasterImage frameAt(double seconds) = 0;
};

class VideoFrameReaderFactory {
public:
    virtual ~VideoFrameReaderFactory() = default;
    // Throws MediaError when the file is missing or holds no decodable video.
    virtual std::unique_ptr<VideoFrameReader> open(const std::filesystem::path& file) = 0;
};

}  // namespace quillmer
