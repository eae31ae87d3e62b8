#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace quillmer::testing {

// What ffprobe finds in a media file's first stream after decoding every frame of it.
struct MediaProbe {
    bool readable = false;  // ffprobe opened the file and found a stream
    std::string codecName;
    int width = 0;
    int height = 0;
    std::string pixelFormat;
    int sampleRate = 0;
    int channels = 0;
    double startSeconds = 0;         // of the container; below zero when encoder priming is cut
    double durationSeconds = 0;      // of the container, from startSeconds
    std::vector<double> framePTS;    // decoded frames, seconds from the file's start
    std::vector<bool> keyframes;     // per decoded frame
    std::string errors;              // what ffprobe reported while decoding
};

MediaProbe probeMedia(const std::filesystem::path& file);

// ffprobe's plain values of `entries` (for example "stream=codec_name") for the streams selected by
// `streams` ("v", "a"), one a line; empty when there is no such stream.
std::string probeEntries(const std::filesystem::path& file, const std::string& streams, const std::string& entries);

// Silent stretches [start, end] in seconds found by FFmpeg's silencedetect filter.
struct SilentStretch {
    double start = 0;
    double end = 0;
};
std::vector<SilentStretch> findSilence(const std::filesystem::path& file, double minimumSeconds);

}  // namespace quillmer::testing
