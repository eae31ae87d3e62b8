#include "platform/linux/ffmpeg_support.h"

#include "core/regular_file.h"
#include "platform/recording_asset.h"

namespace quillmer::ffmpeg {

std::string errorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

Input openInput(const std::filesystem::path& file) {
    AVFormatContext* raw = nullptr;
    // FFmpeg would block on a pipe and read a device forever; it gets the checked file itself.
    const RegularFile source(file);
    if (const int status = avformat_open_input(&raw, source.procPath().c_str(), nullptr, nullptr); status < 0)
        throw RecordingMediaError("Quillmer could not read the recording " + file.filename().string() + ": " +
                                  errorText(status));
    Input input(raw);
    if (const int status = avformat_find_stream_info(input.get(), nullptr); status < 0)
        throw RecordingMediaError("Quillmer could not read the recording " + file.filename().string() + ": " +
                                  errorText(status));
    return input;
}

int firstVideoStream(const AVFormatContext& input) {
    for (unsigned i = 0; i < input.nb_streams; ++i) {
        const AVStream* stream = input.streams[i];
        if (stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && !(stream->disposition & AV_DISPOSITION_ATTACHED_PIC))
            return static_cast<int>(i);
    }
    return -1;
}

int firstAudioStream(const AVFormatContext& input) {
    for (unsigned i = 0; i < input.nb_streams; ++i)
        if (input.streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) return static_cast<int>(i);
    return -1;
}

bool isKeptVideoCodec(AVCodecID codec) { return codec == AV_CODEC_ID_H264 || codec == AV_CODEC_ID_HEVC; }

}  // namespace quillmer::ffmpeg
