#include "platform/linux/ffmpeg_audio_file_writer.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/linux/ffmpeg_fragmented_output.h"
#include "platform/linux/queued_media_file_writer.h"

extern "C" {
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

namespace quillmer {
namespace {

// Sound servers deliver some 10-40 ms per buffer: well under a second waits, so the queue adds
// little to what a crash can lose.
constexpr size_t kQueuedBuffers = 24;
// Timing differences below this are delivery jitter and are not corrected.
constexpr double kGapToleranceSeconds = 0.1;
// A jump beyond this either way is a broken timestamp, not a pause: it is not corrected.
constexpr double kLargestCorrectedJumpSeconds = 3600;
constexpr int kSilenceChunkFrames = 4800;

struct SwrContextFree {
    void operator()(SwrContext* context) const { swr_free(&context); }
};
struct AVAudioFifoFree {
    void operator()(AVAudioFifo* fifo) const { av_audio_fifo_free(fifo); }
};

class TrackAudioEncoder final : public SampleEncoder<AudioBuffer> {
public:
    TrackAudioEncoder(std::unique_ptr<FragmentedMp4Output> output, AVFramePointer frame,
                      std::unique_ptr<AVAudioFifo, AVAudioFifoFree> fifo)
        : output_(std::move(output)), frame_(std::move(frame)), fifo_(std::move(fifo)) {}

    bool open() override { return output_->open(); }

    // Time zero is the first buffer that reaches the encoder, not the session start: the
    // recorder records that first accepted buffer's time as the track's start, and a first
    // buffer dropped while the writer was busy must not shift the track against that record.
    bool encode(const AudioBuffer& buffer, double) override {
        if (!buffer.isValid()) return true;
        if (!origin_) origin_ = buffer.presentationSeconds;
        if (!resampler_ || buffer.sampleRate != sourceRate_ || buffer.channels != sourceChannels_) {
            if (resampler_ && !drainResampler()) return false;
            if (!configureResampler(buffer.sampleRate, buffer.channels)) return false;
        }

        int skipFrames = 0;
        const double gapSeconds = buffer.presentationSeconds - *origin_ - sourceSecondsFed_;
        if (gapSeconds > kGapToleranceSeconds && gapSeconds < kLargestCorrectedJumpSeconds) {
            if (!feedSilence(std::llround(gapSeconds * sourceRate_))) return false;
        } else if (gapSeconds < -kGapToleranceSeconds && gapSeconds > -kLargestCorrectedJumpSeconds) {
            const int64_t overlap = std::llround(-gapSeconds * sourceRate_);
            skipFrames = static_cast<int>(std::min<int64_t>(overlap, buffer.frameCount()));
        }
        const int frames = buffer.frameCount() - skipFrames;
        if (frames == 0) return true;
        return feed(buffer.samples.data() + static_cast<size_t>(skipFrames) * buffer.channels, frames);
    }

    void close() override {
        if (resampler_) drainResampler();
        encodeWholeFrames(true);
        output_->finish();
    }

private:
    AVCodecContext* encoder() const { return output_->encoder(); }

    bool configureResampler(int rate, int channels) {
        AVChannelLayout sourceLayout;
        av_channel_layout_default(&sourceLayout, channels);
        SwrContext* context = nullptr;
        const int allocated = swr_alloc_set_opts2(&context, &encoder()->ch_layout, encoder()->sample_fmt,
                                                  encoder()->sample_rate, &sourceLayout, AV_SAMPLE_FMT_FLT, rate,
                                                  0, nullptr);
        av_channel_layout_uninit(&sourceLayout);
        resampler_.reset(context);
        if (allocated < 0 || !context || swr_init(context) < 0) {
            resampler_.reset();
            return false;
        }
        sourceRate_ = rate;
        sourceChannels_ = channels;
        return true;
    }

    bool feedSilence(int64_t frames) {
        const std::vector<float> silence(static_cast<size_t>(kSilenceChunkFrames) * sourceChannels_, 0.0f);
        while (frames > 0) {
            const int chunk = static_cast<int>(std::min<int64_t>(frames, kSilenceChunkFrames));
            if (!feed(silence.data(), chunk)) return false;
            frames -= chunk;
        }
        return true;
    }

    // Interleaved float source frames through the resampler into the FIFO, then whole AAC frames out.
    bool feed(const float* interleaved, int frames) {
        sourceSecondsFed_ += static_cast<double>(frames) / sourceRate_;
        const uint8_t* input[1] = {reinterpret_cast<const uint8_t*>(interleaved)};
        return convert(input, frames) && encodeWholeFrames(false);
    }

    bool drainResampler() {
        const bool drained = convert(nullptr, 0);
        resampler_.reset();
        return drained && encodeWholeFrames(false);
    }

    bool convert(const uint8_t** input, int frames) {
        const int capacity = swr_get_out_samples(resampler_.get(), frames);
        if (capacity < 0) return false;
        if (capacity == 0) return true;
        uint8_t** planes = nullptr;
        if (av_samples_alloc_array_and_samples(&planes, nullptr, encoder()->ch_layout.nb_channels, capacity,
                                               encoder()->sample_fmt, 0) < 0)
            return false;
        const int converted = swr_convert(resampler_.get(), planes, capacity, input, frames);
        const bool stored =
            converted >= 0 &&
            (converted == 0 || av_audio_fifo_write(fifo_.get(), reinterpret_cast<void**>(planes), converted) == converted);
        av_freep(&planes[0]);
        av_freep(&planes);
        return stored;
    }

    // Encodes every complete frame in the FIFO; at the end also the short remainder.
    bool encodeWholeFrames(bool includingRemainder) {
        const int frameSize = encoder()->frame_size;
        for (;;) {
            const int available = av_audio_fifo_size(fifo_.get());
            if (available == 0 || (available < frameSize && !includingRemainder)) return true;
            const int count = std::min(available, frameSize);
            if (av_frame_make_writable(frame_.get()) < 0) return false;
            if (av_audio_fifo_read(fifo_.get(), reinterpret_cast<void**>(frame_->data), count) != count) return false;
            frame_->nb_samples = count;
            frame_->pts = samplesEncoded_;
            samplesEncoded_ += count;
            if (!output_->encode(frame_.get())) return false;
        }
    }

    std::unique_ptr<FragmentedMp4Output> output_;
    AVFramePointer frame_;
    std::unique_ptr<AVAudioFifo, AVAudioFifoFree> fifo_;
    std::unique_ptr<SwrContext, SwrContextFree> resampler_;
    int sourceRate_ = 0;
    int sourceChannels_ = 0;
    std::optional<double> origin_;
    double sourceSecondsFed_ = 0;  // source time covered so far, from the origin
    int64_t samplesEncoded_ = 0;
};

AVCodecContextPointer openAACEncoder(const AudioWriterSettings& settings) {
    const AVCodec* codec = avcodec_find_encoder_by_name("aac");
    if (!codec) return nullptr;
    AVCodecContextPointer context(avcodec_alloc_context3(codec));
    if (!context) return nullptr;
    context->sample_fmt = AV_SAMPLE_FMT_FLTP;
    context->sample_rate = settings.sampleRate;
    av_channel_layout_default(&context->ch_layout, settings.channels);
    context->bit_rate = settings.bitRate;
    context->time_base = AVRational{1, settings.sampleRate};
    context->flags |= kMp4EncoderFlags;
    if (avcodec_open2(context.get(), codec, nullptr) < 0) return nullptr;
    return context;
}

}  // namespace

std::unique_ptr<AudioFileWriter> makeFfmpegAudioFileWriter(const std::filesystem::path& file,
                                                           const AudioWriterSettings& settings) {
    if (settings.sampleRate <= 0 || settings.channels <= 0 || settings.bitRate <= 0) return nullptr;
    auto output = FragmentedMp4Output::create(file, openAACEncoder(settings));
    if (!output) return nullptr;
    AVCodecContext* encoder = output->encoder();

    AVFramePointer frame(av_frame_alloc());
    if (!frame) return nullptr;
    frame->format = encoder->sample_fmt;
    frame->sample_rate = encoder->sample_rate;
    frame->nb_samples = encoder->frame_size;
    if (av_channel_layout_copy(&frame->ch_layout, &encoder->ch_layout) < 0 || av_frame_get_buffer(frame.get(), 0) < 0)
        return nullptr;
    std::unique_ptr<AVAudioFifo, AVAudioFifoFree> fifo(
        av_audio_fifo_alloc(encoder->sample_fmt, encoder->ch_layout.nb_channels, encoder->frame_size));
    if (!fifo) return nullptr;

    return std::make_unique<QueuedMediaFileWriter<AudioBuffer>>(
        std::make_unique<TrackAudioEncoder>(std::move(output), std::move(frame), std::move(fifo)), kQueuedBuffers);
}

}  // namespace quillmer
