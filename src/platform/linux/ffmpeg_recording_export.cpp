#include "platform/linux/ffmpeg_recording_export.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "platform/linux/ffmpeg_support.h"

extern "C" {
#include <libavutil/opt.h>
}

namespace quillmer {

namespace {

[[noreturn]] void fail(const std::string& step, int status) {
    throw RecordingMediaError("Quillmer could not export the recording (" + step + "): " + ffmpeg::errorText(status));
}

void check(int status, const std::string& step) {
    if (status < 0) fail(step, status);
}

const AVCodec* videoEncoder() {
    if (const AVCodec* x264 = avcodec_find_encoder_by_name("libx264")) return x264;
    return avcodec_find_encoder(AV_CODEC_ID_H264);
}

const AVCodec* audioEncoder() { return avcodec_find_encoder(AV_CODEC_ID_AAC); }

struct Sink {
    AVFormatContext* format = nullptr;
    AVStream* stream = nullptr;
};

// One source stream on its way to one or more output streams, copied or re-encoded.
class StreamRoute {
public:
    virtual ~StreamRoute() = default;
    // What the output streams carry, known once the route exists.
    virtual const AVCodecParameters& parameters() const = 0;
    virtual AVRational timeBase() const = 0;
    // A source packet with timestamps relative to the start of the recording.
    virtual void send(const AVPacket& packet) = 0;
    virtual void finish() = 0;

    void addSink(Sink sink) { sinks_.push_back(sink); }

protected:
    void write(const AVPacket& packet, AVRational from) {
        for (const Sink& sink : sinks_) {
            check(av_packet_ref(scratch_.get(), &packet), "packet");
            av_packet_rescale_ts(scratch_.get(), from, sink.stream->time_base);
            scratch_->stream_index = sink.stream->index;
            scratch_->pos = -1;
            const int status = av_interleaved_write_frame(sink.format, scratch_.get());
            av_packet_unref(scratch_.get());
            check(status, "writing");
        }
    }

private:
    std::vector<Sink> sinks_;
    ffmpeg::Packet scratch_{av_packet_alloc()};
};

class CopyRoute final : public StreamRoute {
public:
    explicit CopyRoute(const AVStream& stream) : stream_(stream) {}
    const AVCodecParameters& parameters() const override { return *stream_.codecpar; }
    AVRational timeBase() const override { return stream_.time_base; }
    void send(const AVPacket& packet) override {
        if (packet.dts == AV_NOPTS_VALUE && packet.pts == AV_NOPTS_VALUE) return;
        write(packet, stream_.time_base);
    }
    void finish() override {}

private:
    const AVStream& stream_;
};

ffmpeg::Codec openDecoder(const AVStream& stream) {
    const AVCodec* codec = avcodec_find_decoder(stream.codecpar->codec_id);
    if (!codec) fail("no decoder", AVERROR_DECODER_NOT_FOUND);
    ffmpeg::Codec decoder(avcodec_alloc_context3(codec));
    check(avcodec_parameters_to_context(decoder.get(), stream.codecpar), "decoder");
    decoder->pkt_timebase = stream.time_base;
    decoder->thread_count = 0;  // as many as the machine has
    check(avcodec_open2(decoder.get(), codec, nullptr), "decoder");
    return decoder;
}

// Encoded routes share the decode-then-drain loop; subclasses turn frames into encoder input.
class EncodeRoute : public StreamRoute {
public:
    const AVCodecParameters& parameters() const override { return *parameters_; }
    AVRational timeBase() const override { return encoder_->time_base; }

    void send(const AVPacket& packet) override { decode(&packet); }

    void finish() override {
        decode(nullptr);
        flushConverter();
        check(avcodec_send_frame(encoder_.get(), nullptr), "encoding");
        drainEncoder();
    }

protected:
    explicit EncodeRoute(const AVStream& stream) : decoder_(openDecoder(stream)) {}

    void openEncoder(const AVCodec* codec, AVDictionary** options) {
        encoder_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;  // MPEG-4 files keep parameter sets in the header
        check(avcodec_open2(encoder_.get(), codec, options), "encoder");
        check(avcodec_parameters_from_context(parameters_.get(), encoder_.get()), "encoder");
    }

    void encode(AVFrame* frame) {
        check(avcodec_send_frame(encoder_.get(), frame), "encoding");
        drainEncoder();
    }

    virtual void convert(AVFrame& decoded) = 0;
    virtual void flushConverter() {}

    ffmpeg::Codec decoder_;
    ffmpeg::Codec encoder_;

private:
    void decode(const AVPacket* packet) {
        const int sent = avcodec_send_packet(decoder_.get(), packet);
        // A damaged packet is skipped, as a player would; the rest of the recording still counts.
        if (sent < 0 && sent != AVERROR_INVALIDDATA && sent != AVERROR_EOF) fail("decoding", sent);
        for (;;) {
            const int status = avcodec_receive_frame(decoder_.get(), frame_.get());
            if (status == AVERROR(EAGAIN) || status == AVERROR_EOF) return;
            if (status == AVERROR_INVALIDDATA) continue;
            check(status, "decoding");
            convert(*frame_);
            av_frame_unref(frame_.get());
        }
    }

    void drainEncoder() {
        for (;;) {
            const int status = avcodec_receive_packet(encoder_.get(), packet_.get());
            if (status == AVERROR(EAGAIN) || status == AVERROR_EOF) return;
            check(status, "encoding");
            write(*packet_, encoder_->time_base);
            av_packet_unref(packet_.get());
        }
    }

    std::unique_ptr<AVCodecParameters, void (*)(AVCodecParameters*)> parameters_{
        avcodec_parameters_alloc(), [](AVCodecParameters* p) { avcodec_parameters_free(&p); }};
    ffmpeg::Frame frame_{av_frame_alloc()};
    ffmpeg::Packet packet_{av_packet_alloc()};
};

// Any video that MPEG-4 does not take as it is becomes H.264 at a visually lossless quality.
class VideoEncodeRoute final : public EncodeRoute {
public:
    VideoEncodeRoute(AVFormatContext& input, AVStream& stream) : EncodeRoute(stream) {
        const AVCodec* codec = videoEncoder();
        encoder_.reset(avcodec_alloc_context3(codec));
        // 4:2:0 needs even sizes; an odd edge loses its last row or column.
        encoder_->width = std::max(2, stream.codecpar->width & ~1);
        encoder_->height = std::max(2, stream.codecpar->height & ~1);
        encoder_->pix_fmt = AV_PIX_FMT_YUV420P;
        encoder_->time_base = stream.time_base;
        encoder_->framerate = av_guess_frame_rate(&input, &stream, nullptr);
        encoder_->sample_aspect_ratio = stream.codecpar->sample_aspect_ratio;
        encoder_->color_range = stream.codecpar->color_range;
        encoder_->color_primaries = stream.codecpar->color_primaries;
        encoder_->color_trc = stream.codecpar->color_trc;
        encoder_->colorspace = stream.codecpar->color_space;
        encoder_->thread_count = 0;
        AVDictionary* options = nullptr;
        av_dict_set(&options, "preset", "veryfast", 0);
        av_dict_set(&options, "crf", "18", 0);
        try {
            openEncoder(codec, &options);
        } catch (...) {
            av_dict_free(&options);
            throw;
        }
        av_dict_free(&options);
    }

private:
    void convert(AVFrame& decoded) override {
        int64_t pts = decoded.best_effort_timestamp;
        if (pts == AV_NOPTS_VALUE) pts = lastPts_ == AV_NOPTS_VALUE ? 0 : lastPts_ + 1;
        // MPEG-4 needs rising times; a repeated time is a duplicate frame.
        if (lastPts_ != AV_NOPTS_VALUE && pts <= lastPts_) return;
        lastPts_ = pts;
        AVFrame* input = &decoded;
        if (decoded.format != encoder_->pix_fmt || decoded.width != encoder_->width || decoded.height != encoder_->height) {
            scaler_.reset(sws_getCachedContext(scaler_.release(), decoded.width, decoded.height,
                                               static_cast<AVPixelFormat>(decoded.format), encoder_->width,
                                               encoder_->height, encoder_->pix_fmt, SWS_BICUBIC, nullptr, nullptr,
                                               nullptr));
            if (!scaler_) fail("converting pictures", AVERROR(EINVAL));
            ffmpeg::Frame converted(av_frame_alloc());
            converted->format = encoder_->pix_fmt;
            converted->width = encoder_->width;
            converted->height = encoder_->height;
            check(av_frame_get_buffer(converted.get(), 0), "converting pictures");
            sws_scale(scaler_.get(), decoded.data, decoded.linesize, 0, decoded.height, converted->data,
                      converted->linesize);
            converted_ = std::move(converted);
            input = converted_.get();
        }
        input->pts = pts;
        input->pict_type = AV_PICTURE_TYPE_NONE;
        encode(input);
    }

    ffmpeg::Scaler scaler_;
    ffmpeg::Frame converted_;
    int64_t lastPts_ = AV_NOPTS_VALUE;
};

// Sound in any other codec becomes AAC; the encoder takes fixed-size frames, so samples pass a FIFO.
class AudioEncodeRoute final : public EncodeRoute {
public:
    explicit AudioEncodeRoute(const AVStream& stream) : EncodeRoute(stream), sourceTimeBase_(stream.time_base) {
        const AVCodec* codec = audioEncoder();
        encoder_.reset(avcodec_alloc_context3(codec));
        encoder_->sample_rate = supportedRate(codec, stream.codecpar->sample_rate);
        const int channels = stream.codecpar->ch_layout.nb_channels == 1 ? 1 : 2;
        av_channel_layout_default(&encoder_->ch_layout, channels);
        encoder_->sample_fmt = codec->sample_fmts ? codec->sample_fmts[0] : AV_SAMPLE_FMT_FLTP;
        encoder_->bit_rate = channels == 1 ? 96'000 : 192'000;
        encoder_->time_base = AVRational{1, encoder_->sample_rate};
        openEncoder(codec, nullptr);
        fifo_.reset(av_audio_fifo_alloc(encoder_->sample_fmt, channels, 4096));
        if (!fifo_) fail("audio buffer", AVERROR(ENOMEM));
    }

private:
    static int supportedRate(const AVCodec* codec, int rate) {
        if (rate > 0 && codec->supported_samplerates)
            for (const int* r = codec->supported_samplerates; *r; ++r)
                if (*r == rate) return rate;
        return 48'000;
    }

    void convert(AVFrame& decoded) override {
        if (!resampler_) startResampler(decoded);
        resample(decoded.extended_data, decoded.nb_samples);
        emitFrames(false);
    }

    void flushConverter() override {
        if (!resampler_) return;
        while (resample(nullptr, 0) > 0) {
        }
        emitFrames(true);
    }

    void startResampler(const AVFrame& first) {
        AVChannelLayout layout{};
        if (first.ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) av_channel_layout_default(&layout, first.ch_layout.nb_channels);
        else check(av_channel_layout_copy(&layout, &first.ch_layout), "audio layout");
        SwrContext* raw = nullptr;
        const int status = swr_alloc_set_opts2(&raw, &encoder_->ch_layout, encoder_->sample_fmt, encoder_->sample_rate,
                                               &layout, static_cast<AVSampleFormat>(first.format), first.sample_rate, 0,
                                               nullptr);
        av_channel_layout_uninit(&layout);
        resampler_.reset(raw);
        check(status, "resampling");
        check(swr_init(resampler_.get()), "resampling");
        // The sound keeps its place on the recording's timeline.
        if (first.pts != AV_NOPTS_VALUE)
            nextPts_ = std::max<int64_t>(0, av_rescale_q(first.pts, sourceTimeBase_, encoder_->time_base));
    }

    int resample(uint8_t** data, int samples) {
        const int capacity = swr_get_out_samples(resampler_.get(), samples);
        if (capacity <= 0) return 0;
        ffmpeg::Frame buffer = makeFrame(capacity);
        const int produced = swr_convert(resampler_.get(), buffer->data, capacity, const_cast<const uint8_t**>(data), samples);
        check(produced, "resampling");
        if (produced > 0 && av_audio_fifo_write(fifo_.get(), reinterpret_cast<void**>(buffer->data), produced) < produced)
            fail("audio buffer", AVERROR(ENOMEM));
        return produced;
    }

    void emitFrames(bool final) {
        const int frameSize = encoder_->frame_size > 0 ? encoder_->frame_size : 1024;
        while (av_audio_fifo_size(fifo_.get()) >= frameSize || (final && av_audio_fifo_size(fifo_.get()) > 0)) {
            const int samples = std::min(frameSize, av_audio_fifo_size(fifo_.get()));
            ffmpeg::Frame frame = makeFrame(samples);
            if (av_audio_fifo_read(fifo_.get(), reinterpret_cast<void**>(frame->data), samples) < samples)
                fail("audio buffer", AVERROR(EIO));
            frame->pts = nextPts_;
            nextPts_ += samples;
            encode(frame.get());
        }
    }

    ffmpeg::Frame makeFrame(int samples) const {
        ffmpeg::Frame frame(av_frame_alloc());
        frame->format = encoder_->sample_fmt;
        frame->sample_rate = encoder_->sample_rate;
        frame->nb_samples = samples;
        check(av_channel_layout_copy(&frame->ch_layout, &encoder_->ch_layout), "audio layout");
        check(av_frame_get_buffer(frame.get(), 0), "audio buffer");
        return frame;
    }

    AVRational sourceTimeBase_;
    ffmpeg::Resampler resampler_;
    ffmpeg::Fifo fifo_;
    int64_t nextPts_ = 0;
};

ffmpeg::Output openOutput(const std::filesystem::path& file, const char* format) {
    AVFormatContext* raw = nullptr;
    check(avformat_alloc_output_context2(&raw, nullptr, format, file.c_str()), "output");
    return ffmpeg::Output(raw);
}

Sink addStream(AVFormatContext& output, const StreamRoute& route, const AVStream& source, bool copied) {
    AVStream* stream = avformat_new_stream(&output, nullptr);
    if (!stream) fail("output stream", AVERROR(ENOMEM));
    check(avcodec_parameters_copy(stream->codecpar, &route.parameters()), "output stream");
    const uint32_t tag = stream->codecpar->codec_tag;
    const bool keepsTag = stream->codecpar->codec_id == AV_CODEC_ID_HEVC &&
                          (tag == MKTAG('h', 'v', 'c', '1') || tag == MKTAG('h', 'e', 'v', '1'));
    if (!keepsTag) stream->codecpar->codec_tag = 0;  // the muxer picks its own tag for the codec
    stream->time_base = route.timeBase();
    // Rotation and similar presentation facts travel with the video; an encoded copy keeps only rotation.
    for (int i = 0; i < source.nb_side_data; ++i) {
        const AVPacketSideData& data = source.side_data[i];
        if (!copied && data.type != AV_PKT_DATA_DISPLAYMATRIX) continue;
        uint8_t* target = av_stream_new_side_data(stream, data.type, data.size);
        if (!target) fail("output stream", AVERROR(ENOMEM));
        std::copy(data.data, data.data + data.size, target);
    }
    return {&output, stream};
}

void startWriting(AVFormatContext& output, const std::filesystem::path& file) {
    check(avio_open(&output.pb, file.c_str(), AVIO_FLAG_WRITE), "creating " + file.filename().string());
    check(avformat_write_header(&output, nullptr), "output header");
}

void finishWriting(AVFormatContext& output) {
    check(av_write_trailer(&output), "finishing the file");
    check(avio_closep(&output.pb), "finishing the file");
}

class FfmpegRecordingExport final : public RecordingExport {
public:
    FfmpegRecordingExport(FfmpegExportSource source, RecordingExportRequest request)
        : source_(std::move(source)), request_(std::move(request)) {}

    void run(std::stop_token stop, const ExportProgressHandler& progress) override {
        if (stop.stop_requested()) throw CancellationError();
        const ffmpeg::Input input = ffmpeg::openInput(source_.file);
        if (ffmpeg::firstVideoStream(*input) != source_.videoStream || ffmpeg::firstAudioStream(*input) != source_.audioStream)
            throw RecordingMediaError("The recording " + source_.file.filename().string() +
                                      " changed while Quillmer was importing it.");
        AVStream* video = input->streams[source_.videoStream];
        AVStream* audio = source_.audioStream >= 0 ? input->streams[source_.audioStream] : nullptr;

        std::unique_ptr<StreamRoute> videoRoute;
        if (source_.copyVideo) videoRoute = std::make_unique<CopyRoute>(*video);
        else videoRoute = std::make_unique<VideoEncodeRoute>(*input, *video);
        std::unique_ptr<StreamRoute> audioRoute;
        if (audio && source_.copyAudio) audioRoute = std::make_unique<CopyRoute>(*audio);
        else if (audio) audioRoute = std::make_unique<AudioEncodeRoute>(*audio);

        const ffmpeg::Output movie = openOutput(request_.movieFile, "mp4");
        videoRoute->addSink(addStream(*movie, *videoRoute, *video, source_.copyVideo));
        if (audioRoute) audioRoute->addSink(addStream(*movie, *audioRoute, *audio, source_.copyAudio));
        ffmpeg::Output sound;
        if (audioRoute && request_.audioFile) {
            sound = openOutput(*request_.audioFile, "ipod");
            audioRoute->addSink(addStream(*sound, *audioRoute, *audio, source_.copyAudio));
        }
        startWriting(*movie, request_.movieFile);
        if (sound) startWriting(*sound, *request_.audioFile);

        // Like a plain remux, the outputs start at zero whatever the source's first timestamp.
        const int64_t start = input->start_time == AV_NOPTS_VALUE ? 0 : input->start_time;
        ffmpeg::Packet packet(av_packet_alloc());
        for (;;) {
            if (stop.stop_requested()) throw CancellationError();
            const int status = av_read_frame(input.get(), packet.get());
            if (status == AVERROR_EOF) break;
            check(status, "reading");
            StreamRoute* route = packet->stream_index == video->index                      ? videoRoute.get()
                                 : audio && packet->stream_index == audio->index ? audioRoute.get()
                                                                                          : nullptr;
            if (route) {
                const AVRational base = input->streams[packet->stream_index]->time_base;
                const int64_t offset = av_rescale_q(start, AV_TIME_BASE_Q, base);
                if (packet->pts != AV_NOPTS_VALUE) packet->pts -= offset;
                if (packet->dts != AV_NOPTS_VALUE) packet->dts -= offset;
                route->send(*packet);
                if (route == videoRoute.get()) noteVideoPacket(*packet, base);
                if (progress && route == videoRoute.get() && source_.durationSeconds > 0 && packet->dts != AV_NOPTS_VALUE)
                    progress(std::clamp(static_cast<double>(packet->dts) * av_q2d(base) / source_.durationSeconds, 0.0, 1.0));
            }
            av_packet_unref(packet.get());
        }
        if (stop.stop_requested()) throw CancellationError();
        videoRoute->finish();
        if (audioRoute) audioRoute->finish();
        finishWriting(*movie);
        if (sound) finishWriting(*sound);
        if (progress) progress(1.0);
    }

    std::optional<double> videoEndSeconds() const override { return videoEnd_; }

private:
    // A recording cut short (a crash, or a copy still being written) can have a header that claims
    // its full length; only the packets really read say where its pictures end.
    void noteVideoPacket(const AVPacket& packet, AVRational base) {
        if (packet.pts == AV_NOPTS_VALUE || (packet.flags & AV_PKT_FLAG_CORRUPT)) return;
        const double end = static_cast<double>(packet.pts + std::max<int64_t>(packet.duration, 0)) * av_q2d(base);
        if (!videoEnd_ || end > *videoEnd_) videoEnd_ = end;
    }

    FfmpegExportSource source_;
    RecordingExportRequest request_;
    std::optional<double> videoEnd_;
};

}  // namespace

std::unique_ptr<RecordingExport> makeFfmpegRecordingExport(const FfmpegExportSource& source,
                                                           const RecordingExportRequest& request) {
    if (!av_guess_format("mp4", nullptr, nullptr) || (request.audioFile && !av_guess_format("ipod", nullptr, nullptr)))
        return nullptr;
    if (!source.copyVideo && !videoEncoder()) return nullptr;
    if (source.audioStream >= 0 && !source.copyAudio && !audioEncoder()) return nullptr;
    return std::make_unique<FfmpegRecordingExport>(source, request);
}

}  // namespace quillmer
