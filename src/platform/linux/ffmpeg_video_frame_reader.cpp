#include "platform/linux/ffmpeg_video_frame_reader.h"

#include "core/regular_file.h"
#include "platform/linux/ffmpeg_support.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
#include <libavutil/error.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

#include <cmath>
#include <limits>
#include <mutex>
#include <optional>
#include <string>

namespace quillmer {

namespace {

using FramePointer = ffmpeg::Frame;

FramePointer allocateFrame() {
    FramePointer frame(av_frame_alloc());
    if (!frame) throw MediaError("Quillmer could not allocate a video frame.");
    return frame;
}

// Clockwise quarter turns that bring the coded picture upright, from the stream's display matrix.
int clockwiseQuarterTurns(const AVStream* stream) {
    size_t size = 0;
    const uint8_t* matrix = av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, &size);
    if (!matrix || size < 9 * sizeof(int32_t)) return 0;
    const double counterClockwise = av_display_rotation_get(reinterpret_cast<const int32_t*>(matrix));
    if (!std::isfinite(counterClockwise)) return 0;
    const long turns = std::lround(-counterClockwise / 90.0);
    return static_cast<int>(((turns % 4) + 4) % 4);
}

RasterImage rotated(RasterImage image, int quarterTurns) {
    if (quarterTurns == 0) return image;
    const int w = image.width, h = image.height;
    RasterImage out;
    out.width = quarterTurns == 2 ? w : h;
    out.height = quarterTurns == 2 ? h : w;
    out.pixels.resize(image.pixels.size());
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const uint32_t pixel = image.at(x, y);
            switch (quarterTurns) {
                case 1: out.at(h - 1 - y, x) = pixel; break;
                case 2: out.at(w - 1 - x, h - 1 - y) = pixel; break;
                default: out.at(y, w - 1 - x) = pixel; break;
            }
        }
    }
    return out;
}

}  // namespace

struct FFmpegVideoFrameReader::State {
    std::filesystem::path file;
    ffmpeg::Input format;
    ffmpeg::Codec decoder;
    ffmpeg::Packet packet;
    ffmpeg::Scaler scaler;
    AVStream* stream = nullptr;
    int quarterTurns = 0;
    int64_t firstTick = 0;

    // The decoded frame the last request stopped on, and the one decoded after it (which tells
    // where the current frame's presentation interval ends).
    FramePointer current = allocateFrame();
    FramePointer lookahead = allocateFrame();
    bool hasCurrent = false;
    bool hasLookahead = false;
    bool reachedEnd = false;
    bool draining = false;
    int64_t lastTick = std::numeric_limits<int64_t>::min();

    [[noreturn]] void fail(const std::string& what, int code) const {
        throw MediaError("Quillmer could not read the video " + file.filename().string() + " (" + what + ": " +
                         ffmpeg::errorText(code) + ").");
    }

    static int64_t tickOf(const AVFrame* frame) { return frame->best_effort_timestamp; }

    // Decodes the next frame in presentation order into `frame`; false at the end of the stream.
    bool decodeNext(AVFrame* frame) {
        for (;;) {
            int result = avcodec_receive_frame(decoder.get(), frame);
            if (result == 0) {
                // Streams without timestamps still need an order: count on from the last frame.
                if (frame->best_effort_timestamp == AV_NOPTS_VALUE)
                    frame->best_effort_timestamp = lastTick == std::numeric_limits<int64_t>::min() ? firstTick : lastTick + 1;
                lastTick = frame->best_effort_timestamp;
                return true;
            }
            if (result == AVERROR_EOF) return false;
            if (result != AVERROR(EAGAIN)) fail("decoding", result);
            if (draining) return false;
            result = av_read_frame(format.get(), packet.get());
            if (result < 0) {
                if (result != AVERROR_EOF && result != AVERROR(EIO)) fail("reading", result);
                draining = true;
                avcodec_send_packet(decoder.get(), nullptr);
                continue;
            }
            if (packet->stream_index == stream->index) {
                result = avcodec_send_packet(decoder.get(), packet.get());
                // A damaged packet costs its frame, not the whole read.
                if (result < 0 && result != AVERROR_INVALIDDATA && result != AVERROR(EAGAIN)) {
                    av_packet_unref(packet.get());
                    fail("decoding", result);
                }
            }
            av_packet_unref(packet.get());
        }
    }

    void seek(int64_t tick) {
        const int result = av_seek_frame(format.get(), stream->index, tick, AVSEEK_FLAG_BACKWARD);
        if (result < 0 && avformat_seek_file(format.get(), stream->index, std::numeric_limits<int64_t>::min(), tick,
                                             tick, 0) < 0)
            fail("seeking", result);
        avcodec_flush_buffers(decoder.get());
        hasCurrent = hasLookahead = reachedEnd = draining = false;
        lastTick = std::numeric_limits<int64_t>::min();
    }

    // Positions `current` on the first frame at or before `target`, stepping further back when
    // a seek lands after it (a keyframe index keyed by decode time can do that).
    void seekBefore(int64_t target) {
        const int64_t second = std::max<int64_t>(1, av_rescale_q(1, AVRational{1, 1}, stream->time_base));
        int64_t backoff = 0;
        for (;;) {
            const int64_t attempt = std::max(firstTick, target - backoff);
            seek(attempt);
            hasCurrent = decodeNext(current.get());
            if (!hasCurrent) reachedEnd = true;
            if (!hasCurrent || tickOf(current.get()) <= target || attempt <= firstTick) return;
            backoff = backoff == 0 ? second : backoff * 2;
        }
    }

    // The first keyframe at or before `target`, as the demuxer's index knows it.
    std::optional<int64_t> keyframeBefore(int64_t target) const {
        const AVIndexEntry* entry = avformat_index_get_entry_from_timestamp(stream, target, AVSEEK_FLAG_BACKWARD);
        if (!entry) return std::nullopt;
        return entry->timestamp;
    }

    bool canDecodeForwardTo(int64_t target) const {
        if (!hasCurrent || tickOf(current.get()) > target) return false;
        const int64_t position = hasLookahead ? tickOf(lookahead.get()) : tickOf(current.get());
        if (const auto keyframe = keyframeBefore(target)) return *keyframe <= position;
        return target - position <= av_rescale_q(1, AVRational{1, 1}, stream->time_base);
    }

    void moveTo(int64_t target) {
        const bool answered = hasCurrent && tickOf(current.get()) <= target &&
                              (reachedEnd || (hasLookahead && tickOf(lookahead.get()) > target));
        if (answered) return;
        if (!canDecodeForwardTo(target)) seekBefore(target);
        if (!hasCurrent) return;
        if (hasLookahead) {
            if (tickOf(lookahead.get()) > target) return;
            std::swap(current, lookahead);
            hasLookahead = false;
        }
        while (!reachedEnd) {
            if (!decodeNext(lookahead.get())) {
                reachedEnd = true;
                break;
            }
            if (tickOf(lookahead.get()) > target) {
                hasLookahead = true;
                break;
            }
            std::swap(current, lookahead);
        }
    }

    // Where the current frame's presentation interval ends: its own duration, else one frame at
    // the stream's rate.
    int64_t endOfCurrent() const {
        int64_t duration = current->pkt_duration;
        if (duration <= 0) {
            const AVRational rate = stream->avg_frame_rate.num > 0 ? stream->avg_frame_rate : stream->r_frame_rate;
            duration = rate.num > 0 ? av_rescale_q(1, av_inv_q(rate), stream->time_base) : 0;
        }
        return tickOf(current.get()) + std::max<int64_t>(duration, 1);
    }

    RasterImage convert(const AVFrame* frame) {
        int width = frame->width;
        const int height = frame->height;
        const AVRational aspect = frame->sample_aspect_ratio.num > 0 ? frame->sample_aspect_ratio
                                                                     : stream->sample_aspect_ratio;
        if (aspect.num > 0 && aspect.den > 0 && aspect.num != aspect.den)
            width = static_cast<int>(std::lround(width * av_q2d(aspect)));
        if (width <= 0 || height <= 0) throw MediaError("The video " + file.filename().string() + " has an empty frame.");
        scaler.reset(sws_getCachedContext(scaler.release(), frame->width, frame->height,
                                          static_cast<AVPixelFormat>(frame->format), width, height, AV_PIX_FMT_RGB32,
                                          SWS_BILINEAR, nullptr, nullptr, nullptr));
        if (!scaler) throw MediaError("Quillmer cannot convert the pixels of " + file.filename().string() + ".");
        const int* coefficients = sws_getCoefficients(frame->colorspace);
        sws_setColorspaceDetails(scaler.get(), coefficients, frame->color_range == AVCOL_RANGE_JPEG, coefficients, 1, 0,
                                 1 << 16, 1 << 16);
        RasterImage image;
        image.width = width;
        image.height = height;
        image.pixels.resize(static_cast<size_t>(width) * static_cast<size_t>(height));
        uint8_t* planes[4] = {reinterpret_cast<uint8_t*>(image.pixels.data()), nullptr, nullptr, nullptr};
        int strides[4] = {width * 4, 0, 0, 0};
        sws_scale(scaler.get(), frame->data, frame->linesize, 0, frame->height, planes, strides);
        return rotated(std::move(image), quarterTurns);
    }
};

FFmpegVideoFrameReader::FFmpegVideoFrameReader(const std::filesystem::path& file) : state_(std::make_unique<State>()) {
    static std::once_flag quiet;
    std::call_once(quiet, [] { av_log_set_level(AV_LOG_ERROR); });
    auto& s = *state_;
    s.file = file;
    AVFormatContext* format = nullptr;
    // A pipe or device put in the video's place would block or never end: only a regular file is read.
    std::optional<RegularFile> source;
    try {
        source.emplace(file);
    } catch (const FileSystemError& error) {
        throw MediaError(error.what());
    }
    if (const int result = avformat_open_input(&format, source->procPath().c_str(), nullptr, nullptr); result < 0)
        s.fail("opening", result);
    s.format.reset(format);
    if (const int result = avformat_find_stream_info(format, nullptr); result < 0) s.fail("probing", result);
    const AVCodec* codec = nullptr;
    const int index = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    if (index < 0 || !codec) s.fail("finding the video stream", index < 0 ? index : AVERROR_DECODER_NOT_FOUND);
    s.stream = format->streams[index];
    // Only the chosen stream is demuxed; everything else is skipped at the packet level.
    for (unsigned i = 0; i < format->nb_streams; ++i)
        if (static_cast<int>(i) != index) format->streams[i]->discard = AVDISCARD_ALL;
    s.decoder.reset(avcodec_alloc_context3(codec));
    if (!s.decoder) s.fail("preparing the decoder", AVERROR(ENOMEM));
    if (const int result = avcodec_parameters_to_context(s.decoder.get(), s.stream->codecpar); result < 0)
        s.fail("preparing the decoder", result);
    // One thread: every request seeks and flushes, which frame threading pays for with a refilled
    // pipeline (slower and more CPU in measurements), and the caller writes PNGs on the other core.
    s.decoder->thread_count = 1;
    if (const int result = avcodec_open2(s.decoder.get(), codec, nullptr); result < 0) s.fail("opening the decoder", result);
    s.packet.reset(av_packet_alloc());
    if (!s.packet) s.fail("preparing the reader", AVERROR(ENOMEM));
    s.quarterTurns = clockwiseQuarterTurns(s.stream);
    s.firstTick = s.stream->start_time == AV_NOPTS_VALUE ? 0 : s.stream->start_time;
}

FFmpegVideoFrameReader::~FFmpegVideoFrameReader() = default;

RasterImage FFmpegVideoFrameReader::frameAt(double seconds) {
    auto& s = *state_;
    if (!std::isfinite(seconds)) throw MediaError("Quillmer cannot read a video frame at a time that is not a number.");
    const AVRational base = s.stream->time_base;
    const double ticks = std::round(seconds * base.den / base.num);
    const int64_t target = ticks > 9.0e18 ? std::numeric_limits<int64_t>::max() / 2
                           : ticks < -9.0e18 ? std::numeric_limits<int64_t>::min() / 2
                                             : static_cast<int64_t>(ticks);
    s.moveTo(target);
    if (!s.hasCurrent) throw MediaError("The video " + s.file.filename().string() + " has no frames.");
    if (s.reachedEnd && target > s.endOfCurrent())
        throw FrameBeyondEndError("The video " + s.file.filename().string() + " ends before " +
                                  std::to_string(seconds) + " seconds.");
    return s.convert(s.current.get());
}

}  // namespace quillmer
