#include "platform/linux/ffmpeg_audio_track_reader.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "core/error.h"
#include "platform/linux/ffmpeg_support.h"
#include "platform/linux/speech_wav_file.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

namespace quillmer {

namespace {

// The FFmpeg objects of one open file, freed even when opening fails halfway.
struct DecodingHandles {
    AVFormatContext* format = nullptr;
    AVCodecContext* decoder = nullptr;
    SwrContext* resampler = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* frame = nullptr;

    DecodingHandles() = default;
    DecodingHandles(const DecodingHandles&) = delete;
    DecodingHandles& operator=(const DecodingHandles&) = delete;
    ~DecodingHandles() {
        swr_free(&resampler);
        av_frame_free(&frame);
        av_packet_free(&packet);
        avcodec_free_context(&decoder);
        avformat_close_input(&format);
    }
};

// Decodes one file front to back into 16 kHz mono samples, counted from the first decoded sample.
// Chunks asked for in order continue where the last one stopped; an earlier start decodes again
// from the beginning.
class FFmpegAudioTrackReader final : public AudioTrackReader {
public:
    explicit FFmpegAudioTrackReader(const std::filesystem::path& file) : file_(file) {
        if (const int rc = avformat_open_input(&ffmpeg_.format, file.c_str(), nullptr, nullptr); rc < 0) fail(rc);
        if (const int rc = avformat_find_stream_info(ffmpeg_.format, nullptr); rc < 0) fail(rc);
        const AVCodec* codec = nullptr;
        streamIndex_ = av_find_best_stream(ffmpeg_.format, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
        if (streamIndex_ < 0) fail(streamIndex_);
        const AVStream* stream = ffmpeg_.format->streams[streamIndex_];
        ffmpeg_.decoder = avcodec_alloc_context3(codec);
        if (!ffmpeg_.decoder) fail(AVERROR(ENOMEM));
        if (const int rc = avcodec_parameters_to_context(ffmpeg_.decoder, stream->codecpar); rc < 0) fail(rc);
        if (const int rc = avcodec_open2(ffmpeg_.decoder, codec, nullptr); rc < 0) fail(rc);
        ffmpeg_.packet = av_packet_alloc();
        ffmpeg_.frame = av_frame_alloc();
        if (!ffmpeg_.packet || !ffmpeg_.frame) fail(AVERROR(ENOMEM));

        if (stream->duration != AV_NOPTS_VALUE && stream->duration > 0)
            duration_ = static_cast<double>(stream->duration) * av_q2d(stream->time_base);
        else if (ffmpeg_.format->duration != AV_NOPTS_VALUE && ffmpeg_.format->duration > 0)
            duration_ = static_cast<double>(ffmpeg_.format->duration) / AV_TIME_BASE;
    }

    double durationSeconds() const override { return duration_; }

    void exportChunk(double startSeconds, double durationSeconds, const std::filesystem::path& destination) override {
        const auto first = static_cast<int64_t>(std::llround(startSeconds * kSpeechSampleRate));
        const auto last = first + static_cast<int64_t>(std::llround(durationSeconds * kSpeechSampleRate));
        if (first < bufferStart_) rewind();
        while (!finished_ && bufferStart_ + static_cast<int64_t>(buffer_.size()) < last) decodeMore();
        dropBefore(first);
        const auto count = std::clamp<int64_t>(last - bufferStart_, 0, static_cast<int64_t>(buffer_.size()));
        writeSpeechWav(destination, std::span<const int16_t>(buffer_.data(), static_cast<size_t>(count)));
    }

private:
    [[noreturn]] void fail(int code) const {
        throw Error("Quillmer could not read the audio in " + file_.filename().string() + ": " + ffmpeg::errorText(code));
    }

    void rewind() {
        if (const int rc = av_seek_frame(ffmpeg_.format, streamIndex_, 0, AVSEEK_FLAG_BACKWARD); rc < 0) fail(rc);
        avcodec_flush_buffers(ffmpeg_.decoder);
        swr_free(&ffmpeg_.resampler);
        buffer_.clear();
        bufferStart_ = 0;
        finished_ = false;
        draining_ = false;
    }

    void dropBefore(int64_t sample) {
        const auto drop = std::clamp<int64_t>(sample - bufferStart_, 0, static_cast<int64_t>(buffer_.size()));
        buffer_.erase(buffer_.begin(), buffer_.begin() + drop);
        bufferStart_ += drop;
    }

    // Reads one packet (or drains at the end) and appends what it decodes.
    void decodeMore() {
        if (!draining_) {
            const int rc = av_read_frame(ffmpeg_.format, ffmpeg_.packet);
            if (rc == AVERROR_EOF) {
                draining_ = true;
                avcodec_send_packet(ffmpeg_.decoder, nullptr);
            } else if (rc < 0) {
                fail(rc);
            } else {
                const bool ours = ffmpeg_.packet->stream_index == streamIndex_;
                const int sent = ours ? avcodec_send_packet(ffmpeg_.decoder, ffmpeg_.packet) : 0;
                av_packet_unref(ffmpeg_.packet);
                // A damaged packet is skipped, as players do; the rest of the track still counts.
                if (sent < 0 && sent != AVERROR_INVALIDDATA) fail(sent);
            }
        }
        while (true) {
            const int rc = avcodec_receive_frame(ffmpeg_.decoder, ffmpeg_.frame);
            if (rc == AVERROR(EAGAIN)) {
                if (draining_) finished_ = true;  // a drained decoder has nothing more to give
                return;
            }
            if (rc == AVERROR_EOF) {
                flushResampler();
                finished_ = true;
                return;
            }
            if (rc == AVERROR_INVALIDDATA) continue;
            if (rc < 0) fail(rc);
            convert(ffmpeg_.frame);
            av_frame_unref(ffmpeg_.frame);
        }
    }

    void convert(const AVFrame* frame) {
        if (!ffmpeg_.resampler) {
            AVChannelLayout input{};
            if (frame->ch_layout.nb_channels > 0 && frame->ch_layout.order != AV_CHANNEL_ORDER_UNSPEC)
                av_channel_layout_copy(&input, &frame->ch_layout);
            else
                av_channel_layout_default(&input, std::max(frame->ch_layout.nb_channels, 1));
            AVChannelLayout mono = AV_CHANNEL_LAYOUT_MONO;
            const int rc = swr_alloc_set_opts2(&ffmpeg_.resampler, &mono, AV_SAMPLE_FMT_S16, kSpeechSampleRate, &input,
                                               static_cast<AVSampleFormat>(frame->format), frame->sample_rate, 0, nullptr);
            av_channel_layout_uninit(&input);
            if (rc < 0) fail(rc);
            if (const int init = swr_init(ffmpeg_.resampler); init < 0) fail(init);
        }
        appendConverted(const_cast<const uint8_t**>(frame->extended_data), frame->nb_samples);
    }

    void flushResampler() {
        if (ffmpeg_.resampler) appendConverted(nullptr, 0);
    }

    void appendConverted(const uint8_t** input, int inputSamples) {
        const int capacity = swr_get_out_samples(ffmpeg_.resampler, inputSamples);
        if (capacity <= 0) return;
        const size_t old = buffer_.size();
        buffer_.resize(old + static_cast<size_t>(capacity));
        auto* output = reinterpret_cast<uint8_t*>(buffer_.data() + old);
        const int produced = swr_convert(ffmpeg_.resampler, &output, capacity, input, inputSamples);
        if (produced < 0) {
            buffer_.resize(old);
            fail(produced);
        }
        buffer_.resize(old + static_cast<size_t>(produced));
    }

    std::filesystem::path file_;
    DecodingHandles ffmpeg_;
    int streamIndex_ = -1;
    double duration_ = std::numeric_limits<double>::quiet_NaN();
    std::vector<int16_t> buffer_;  // decoded samples from bufferStart_ on
    int64_t bufferStart_ = 0;
    bool draining_ = false;
    bool finished_ = false;
};

}  // namespace

std::unique_ptr<AudioTrackReader> FFmpegAudioTrackReaderFactory::open(const std::filesystem::path& audioFile) {
    return std::make_unique<FFmpegAudioTrackReader>(audioFile);
}

}  // namespace quillmer
