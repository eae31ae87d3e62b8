#pragma once

#include <filesystem>
#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace quillmer {

struct AVCodecContextFree {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct AVFrameFree {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
using AVCodecContextPointer = std::unique_ptr<AVCodecContext, AVCodecContextFree>;
using AVFramePointer = std::unique_ptr<AVFrame, AVFrameFree>;

// Codec headers go into the MPEG-4 sample description, so encoders must be opened with this.
inline constexpr int kMp4EncoderFlags = AV_CODEC_FLAG_GLOBAL_HEADER;

// One opened encoder feeding the single track of a fragmented MPEG-4 file (".mp4" MPEG-4,
// ".m4a" Apple M4A). The track header is written with the first fragment (late enough to carry
// the edit that hides AAC priming) and the media follows in fragments of about a second, each
// flushed to the file as soon as it is complete, so a process that dies mid-recording leaves a
// file that plays up to its last complete fragment.
class FragmentedMp4Output {
public:
    // Prepares the muxer; nullptr when the container or the track cannot be set up.
    // The file itself is created by open().
    static std::unique_ptr<FragmentedMp4Output> create(const std::filesystem::path& file,
                                                       AVCodecContextPointer encoder);
    ~FragmentedMp4Output();
    FragmentedMp4Output(const FragmentedMp4Output&) = delete;
    FragmentedMp4Output& operator=(const FragmentedMp4Output&) = delete;

    AVCodecContext* encoder() const { return encoder_.get(); }

    // Creates the file and writes the header.
    bool open();
    // Encodes one frame (timestamps in the encoder's time base) and writes the packets it yields.
    bool encode(const AVFrame* frame);
    // Drains the encoder, writes the last fragment and the index, and closes the file.
    bool finish();

private:
    FragmentedMp4Output(const std::filesystem::path& file, AVFormatContext* format, AVStream* stream,
                        AVCodecContextPointer encoder);
    bool writeAvailablePackets();

    std::filesystem::path file_;
    AVFormatContext* format_ = nullptr;
    AVStream* stream_ = nullptr;
    AVCodecContextPointer encoder_;
    AVPacket* packet_ = nullptr;
    bool opened_ = false;
    bool finished_ = false;
};

}  // namespace quillmer
