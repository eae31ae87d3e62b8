#pragma once

#include <filesystem>
#include <memory>

#include "platform/recording_asset.h"

namespace quillmer {

// What an FFmpeg export reads: the source and the streams it takes.
struct FfmpegExportSource {
    std::filesystem::path file;
    int videoStream = -1;
    int audioStream = -1;  // -1: no sound
    bool copyVideo = true;
    bool copyAudio = true;
    double durationSeconds = 0;
};

// One pass over the source that writes every requested file (remuxing what MPEG-4 takes as it
// is, encoding the rest); nullptr when an encoder, decoder or muxer it needs is missing.
std::unique_ptr<RecordingExport> makeFfmpegRecordingExport(const FfmpegExportSource& source,
                                                           const RecordingExportRequest& request);

}  // namespace quillmer
