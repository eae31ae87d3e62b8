#pragma once

#include <filesystem>
#include <memory>

namespace quillmer {

// One recorded audio track, read for speech recognition.
class AudioTrackReader {
public:
    virtual ~AudioTrackReader() = default;
    // The track's length in seconds; may be zero, or not finite when the container does not say.
    virtual double durationSeconds() const = 0;
    // Writes the audio from `startSeconds` (from the start of the track) for `durationSeconds` as
    // a 16 kHz mono 16-bit WAV file. Throws Error when the track cannot be decoded or the file
    // written. Chunks asked for in order are decoded in one pass.
    virtual void exportChunk(double startSeconds, double durationSeconds, const std::filesystem::path& destination) = 0;
};

class AudioTrackReaderFactory {
public:
    virtual ~AudioTrackReaderFactory() = default;
    // Throws Error when the file cannot be opened or has no audio stream.
    virtual std::unique_ptr<AudioTrackReader> open(const std::filesystem::path& audioFile) = 0;
};

}  // namespace quillmer
