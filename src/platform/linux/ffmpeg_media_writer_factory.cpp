#include "platform/linux/ffmpeg_media_writer_factory.h"

#include "platform/linux/ffmpeg_audio_file_writer.h"
#include "platform/linux/ffmpeg_video_file_writer.h"

extern "C" {
#include <libavutil/log.h>
}

namespace quillmer {

FfmpegMediaWriterFactory::FfmpegMediaWriterFactory() {
    // The encoders announce their settings at the information level on every file; a failing
    // writer is not reported either, so only real errors reach the console.
    if (av_log_get_level() > AV_LOG_ERROR) av_log_set_level(AV_LOG_ERROR);
}

std::unique_ptr<VideoFileWriter> FfmpegMediaWriterFactory::makeVideoWriter(const std::filesystem::path& file,
                                                                          const VideoWriterSettings& settings) {
    return makeFfmpegVideoFileWriter(file, settings);
}

std::unique_ptr<AudioFileWriter> FfmpegMediaWriterFactory::makeAudioWriter(const std::filesystem::path& file,
                                                                          const AudioWriterSettings& settings) {
    return makeFfmpegAudioFileWriter(file, settings);
}

}  // namespace quillmer
