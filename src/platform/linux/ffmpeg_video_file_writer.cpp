#include "platform/linux/ffmpeg_video_file_writer.h"

#include <cmath>
#include <cstdint>
#include <optional>

#include "platform/linux/ffmpeg_fragmented_output.h"
#include "platform/linux/queued_media_file_writer.h"

extern "C" {
#include <libswscale/swscale.h>
}

namespace quillmer {
namespace {

constexpr AVRational kTimeBase{1, 90'000};
constexpr int kNominalFramesPerSecond = 30;
// A keyframe at least every two seconds of source time, whatever the frame rate: forced a
// little early so the next frame's interval cannot push the gap past two seconds.
constexpr int64_t kKeyframeIntervalTicks = 90'000 * 195 / 100;
// About four frames at 30 fps: enough to ride out a slow frame, never seconds of screen in memory.
constexpr size_t kQueuedFrames = 4;

struct SwsContextFree {
    void operator()(SwsContext* context) const { sws_freeContext(context); }
};

class ScreenVideoEncoder final : public SampleEncoder<VideoFrame> {
public:
    ScreenVideoEncoder(std::unique_ptr<FragmentedMp4Output> output, AVFramePointer picture)
        : output_(std::move(output)), picture_(std::move(picture)) {}

    bool open() override { return output_->open(); }

    bool encode(const VideoFrame& frame, double sessionStartSeconds) override {
        if (!frame.isValid()) return true;  // nothing to write, not a failure
        if (!convert(frame)) return false;

        int64_t pts = std::llround((frame.presentationSeconds - sessionStartSeconds) * kTimeBase.den);
        // MPEG-4 needs strictly rising times; a repeated or earlier time follows the last one.
        if (lastPTS_ && pts <= *lastPTS_) pts = *lastPTS_ + 1;
        lastPTS_ = pts;
        picture_->pts = pts;
        const bool keyframe = !lastKeyframePTS_ || pts - *lastKeyframePTS_ >= kKeyframeIntervalTicks;
        picture_->pict_type = keyframe ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
        if (keyframe) lastKeyframePTS_ = pts;
        return output_->encode(picture_.get());
    }

    void close() override { output_->finish(); }

private:
    // BGRA to the encoder's 4:2:0 picture. A frame one pixel larger than the picture (an odd
    // display size) is cropped; any other size (the display changed mode) is scaled.
    bool convert(const VideoFrame& frame) {
        const int width = picture_->width;
        const int height = picture_->height;
        const bool crop = frame.width - width >= 0 && frame.width - width <= 1 && frame.height - height >= 0 &&
                          frame.height - height <= 1;
        const int sourceWidth = crop ? width : frame.width;
        const int sourceHeight = crop ? height : frame.height;
        if (!scaler_ || sourceWidth != scalerWidth_ || sourceHeight != scalerHeight_) {
            scaler_.reset(sws_getContext(sourceWidth, sourceHeight, AV_PIX_FMT_BGRA, width, height,
                                         AV_PIX_FMT_YUV420P, SWS_BILINEAR, nullptr, nullptr, nullptr));
            if (!scaler_) return false;
            // Screen content is HD material: BT.709, limited range, as tagged on the track.
            const int* coefficients = sws_getCoefficients(SWS_CS_ITU709);
            sws_setColorspaceDetails(scaler_.get(), coefficients, 1, coefficients, 0, 0, 1 << 16, 1 << 16);
            scalerWidth_ = sourceWidth;
            scalerHeight_ = sourceHeight;
        }

        if (av_frame_make_writable(picture_.get()) < 0) return false;
        const uint8_t* source[4] = {frame.pixels->data(), nullptr, nullptr, nullptr};
        const int strides[4] = {frame.bytesPerRow, 0, 0, 0};
        return sws_scale(scaler_.get(), source, strides, 0, sourceHeight, picture_->data, picture_->linesize) == height;
    }

    std::unique_ptr<FragmentedMp4Output> output_;
    AVFramePointer picture_;
    std::unique_ptr<SwsContext, SwsContextFree> scaler_;
    int scalerWidth_ = 0;
    int scalerHeight_ = 0;
    std::optional<int64_t> lastPTS_;
    std::optional<int64_t> lastKeyframePTS_;
};

AVCodecContextPointer openH264Encoder(int width, int height, int64_t bitRate) {
    const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
    if (!codec) return nullptr;
    AVCodecContextPointer context(avcodec_alloc_context3(codec));
    if (!context) return nullptr;
    context->width = width;
    context->height = height;
    context->pix_fmt = AV_PIX_FMT_YUV420P;
    context->time_base = kTimeBase;
    context->framerate = AVRational{kNominalFramesPerSecond, 1};  // rate-control hint only
    context->bit_rate = bitRate;
    context->gop_size = 2 * kNominalFramesPerSecond;
    context->max_b_frames = 0;
    context->flags |= kMp4EncoderFlags;
    context->color_range = AVCOL_RANGE_MPEG;
    context->colorspace = AVCOL_SPC_BT709;
    context->color_primaries = AVCOL_PRI_BT709;
    context->color_trc = AVCOL_TRC_BT709;

    // ultrafast + zerolatency holds 30 fps of a 1080p screen on a fraction of one core, with no
    // frame held back in the encoder; slower presets start dropping frames.
    AVDictionary* options = nullptr;
    av_dict_set(&options, "preset", "ultrafast", 0);
    av_dict_set(&options, "tune", "zerolatency", 0);
    av_dict_set(&options, "forced-idr", "1", 0);
    const int result = avcodec_open2(context.get(), codec, &options);
    av_dict_free(&options);
    if (result < 0) return nullptr;
    return context;
}

}  // namespace

std::unique_ptr<VideoFileWriter> makeFfmpegVideoFileWriter(const std::filesystem::path& file,
                                                           const VideoWriterSettings& settings) {
    const int width = settings.width & ~1;
    const int height = settings.height & ~1;
    if (width < 2 || height < 2 || settings.averageBitRate <= 0) return nullptr;

    auto output = FragmentedMp4Output::create(file, openH264Encoder(width, height, settings.averageBitRate));
    if (!output) return nullptr;
    AVFramePointer picture(av_frame_alloc());
    if (!picture) return nullptr;
    picture->format = AV_PIX_FMT_YUV420P;
    picture->width = width;
    picture->height = height;
    if (av_frame_get_buffer(picture.get(), 0) < 0) return nullptr;

    return std::make_unique<QueuedMediaFileWriter<VideoFrame>>(
        std::make_unique<ScreenVideoEncoder>(std::move(output), std::move(picture)), kQueuedFrames);
}

}  // namespace quillmer
