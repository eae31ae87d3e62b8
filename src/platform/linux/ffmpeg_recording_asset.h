#pragma once

#include "platform/recording_asset.h"

namespace quillmer {

// Opens recordings with FFmpeg's demuxers.
class FfmpegRecordingAssetLoader final : public RecordingAssetLoader {
public:
    FfmpegRecordingAssetLoader();
    std::unique_ptr<RecordingAsset> load(const std::filesystem::path& file) override;
};

}  // namespace quillmer
