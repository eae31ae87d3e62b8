#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "capture/local_session_manifest.h"
#include "capture/session_folder.h"
#include "transcription/local_transcript.h"

namespace quillmer::testing {

struct SpokenLine {
    double start;
    double duration;
    std::string text;
};

inline LocalTranscript transcriptWith(const std::vector<SpokenLine>& lines) {
    LocalTranscript transcript;
    transcript.createdAt = *parseISO8601("2026-05-04T09:40:00Z");
    transcript.audioFile = kSystemAudioFileName;
    transcript.localeIdentifier = "en-US";
    for (const auto& line : lines) {
        LocalTranscriptSegment segment;
        segment.id = Uuid::random();
        segment.startSeconds = line.start;
        segment.durationSeconds = line.duration;
        segment.text = line.text;
        transcript.segments.push_back(segment);
    }
    return transcript;
}

inline LocalSessionManifest sessionManifest() {
    LocalSessionManifest manifest;
    manifest.id = Uuid::random();
    manifest.createdAt = *parseISO8601("2026-05-04T09:30:12Z");
    manifest.width = 1280;
    manifest.height = 720;
    manifest.videoFile = kScreenVideoFileName;
    return manifest;
}

// A session folder under `root` holding `manifest` and, when given, a stored transcript.
inline std::filesystem::path makeSession(const std::filesystem::path& root, const LocalSessionManifest& manifest,
                                         const std::vector<SpokenLine>* lines = nullptr) {
    const auto folder = createSessionFolder(root, manifest.id);
    writeManifest(folder, manifest);
    if (lines) storeTranscript(folder, manifest, transcriptWith(*lines));
    return folder;
}

}  // namespace quillmer::testing
