#include "platform/linux/ffmpeg_recording_asset.h"

#include "platform/linux/ffmpeg_recording_export.h"
#include "platform/linux/ffmpeg_support.h"

namespace quillmer {

namespace {

struct Size {
    double width = 0;
    double height = 0;
};

// The display matrix uses the layout of a 2-D affine transform ([a b u; c d v; x y w], a to d in
// 16.16 fixed point), so applying it to a size is the familiar w' = a·w + c·h, h' = b·w + d·h.
Size presentationSize(const AVStream& stream) {
    const double width = stream.codecpar->width;
    const double height = stream.codecpar->height;
    const auto* matrix = reinterpret_cast<const int32_t*>(
        av_stream_get_side_data(&stream, AV_PKT_DATA_DISPLAYMATRIX, nullptr));
    if (!matrix) return {width, height};
    const double a = matrix[0] / 65536.0, b = matrix[1] / 65536.0, c = matrix[3] / 65536.0, d = matrix[4] / 65536.0;
    return {a * width + c * height, b * width + d * height};
}

double durationOf(const AVFormatContext& input, const AVStream* video) {
    if (input.duration != AV_NOPTS_VALUE) return static_cast<double>(input.duration) / AV_TIME_BASE;
    if (video && video->duration != AV_NOPTS_VALUE) return static_cast<double>(video->duration) * av_q2d(video->time_base);
    return 0;
}

class FfmpegRecordingAsset final : public RecordingAsset {
public:
    explicit FfmpegRecordingAsset(const std::filesystem::path& file) {
        const ffmpeg::Input input = ffmpeg::openInput(file);
        source_.file = file;
        source_.videoStream = ffmpeg::firstVideoStream(*input);
        source_.audioStream = ffmpeg::firstAudioStream(*input);
        const AVStream* video = source_.videoStream >= 0 ? input->streams[source_.videoStream] : nullptr;
        if (video) {
            size_ = presentationSize(*video);
            source_.copyVideo = ffmpeg::isKeptVideoCodec(video->codecpar->codec_id);
            videoCodec_ = video->codecpar->codec_id;
        }
        if (source_.audioStream >= 0) {
            audioCodec_ = input->streams[source_.audioStream]->codecpar->codec_id;
            source_.copyAudio = audioCodec_ == AV_CODEC_ID_AAC;
        }
        source_.durationSeconds = durationOf(*input, video);
    }

    bool hasVideoTrack() const override { return source_.videoStream >= 0; }
    bool hasAudioTrack() const override { return source_.audioStream >= 0; }
    double presentationWidth() const override { return size_.width; }
    double presentationHeight() const override { return size_.height; }
    double durationSeconds() const override { return source_.durationSeconds; }

    std::unique_ptr<RecordingExport> makeExport(const RecordingExportRequest& request) const override {
        if (!hasVideoTrack()) return nullptr;
        if (!source_.copyVideo && !avcodec_find_decoder(videoCodec_)) return nullptr;
        if (hasAudioTrack() && !source_.copyAudio && !avcodec_find_decoder(audioCodec_)) return nullptr;
        return makeFfmpegRecordingExport(source_, request);
    }

private:
    FfmpegExportSource source_;
    Size size_;
    AVCodecID videoCodec_ = AV_CODEC_ID_NONE;
    AVCodecID audioCodec_ = AV_CODEC_ID_NONE;
};

}  // namespace

FfmpegRecordingAssetLoader::FfmpegRecordingAssetLoader() {
    // Failures reach the user as errors; the libraries' own chatter would only clutter stderr.
    av_log_set_level(AV_LOG_FATAL);
}

std::unique_ptr<RecordingAsset> FfmpegRecordingAssetLoader::load(const std::filesystem::path& file) {
    return std::make_unique<FfmpegRecordingAsset>(file);
}

}  // namespace quillmer
