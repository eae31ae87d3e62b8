#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <filesystem>
#include <memory>
#include <string>

namespace quillmer::ffmpeg {

struct InputCloser {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
struct OutputCloser {
    void operator()(AVFormatContext* context) const {
        if (context->pb && !(context->oformat->flags & AVFMT_NOFILE)) avio_closep(&context->pb);
        avformat_free_context(context);
    }
};
struct CodecCloser {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct FrameFree {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketFree {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct ScalerFree {
    void operator()(SwsContext* context) const { sws_freeContext(context); }
};
struct ResamplerFree {
    void operator()(SwrContext* context) const { swr_free(&context); }
};
struct FifoFree {
    void operator()(AVAudioFifo* fifo) const { av_audio_fifo_free(fifo); }
};

using Input = std::unique_ptr<AVFormatContext, InputCloser>;
using Output = std::unique_ptr<AVFormatContext, OutputCloser>;
using Codec = std::unique_ptr<AVCodecContext, CodecCloser>;
using Frame = std::unique_ptr<AVFrame, FrameFree>;
using Packet = std::unique_ptr<AVPacket, PacketFree>;
using Scaler = std::unique_ptr<SwsContext, ScalerFree>;
using Resampler = std::unique_ptr<SwrContext, ResamplerFree>;
using Fifo = std::unique_ptr<AVAudioFifo, FifoFree>;

std::string errorText(int code);

// Opens and probes a media file, which must be a regular file. Throws FileSystemError (not a
// regular file, or unreadable) or RecordingMediaError.
Input openInput(const std::filesystem::path& file);

// The first video stream that is not a cover picture, or -1.
int firstVideoStream(const AVFormatContext& input);
// The first audio stream, or -1.
int firstAudioStream(const AVFormatContext& input);

// Video codecs an MPEG-4 file takes as they are.
bool isKeptVideoCodec(AVCodecID codec);

}  // namespace quillmer::ffmpeg
