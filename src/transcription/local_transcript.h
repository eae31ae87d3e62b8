#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "capture/local_session_manifest.h"
#include "core/iso8601.h"
#include "core/json.h"
#include "core/uuid.h"

namespace quillmer {

struct TranscriptSpeaker {
    std::optional<std::string> id;
    std::string name;
    std::string role;  // "remote" or "self"

    bool operator==(const TranscriptSpeaker&) const = default;
    static TranscriptSpeaker fromJSON(const Json& json);
    Json toJSON() const;
};

struct LocalTranscriptSegment {
    Uuid id;
    double startSeconds = 0;  // on the session's source presentation-time clock
    double durationSeconds = 0;
    std::string text;
    std::optional<double> confidence;  // on-device pieces only, 0 to 1
    std::optional<TranscriptSpeaker> speaker;
    std::optional<std::string> sourceTrack;  // "system-audio" or "microphone"

    bool operator==(const LocalTranscriptSegment&) const = default;
    static LocalTranscriptSegment fromJSON(const Json& json);
    Json toJSON() const;
};

// "transcript.json": at most one per session.
struct LocalTranscript {
    int64_t schemaVersion = 2;  // 2 when transcribed, 1 when imported
    Timestamp createdAt;
    std::string audioFile;
    double sourcePTSOffsetSeconds = 0;  // segment times already include each track's offset
    std::string localeIdentifier;
    std::vector<LocalTranscriptSegment> segments;
    std::optional<std::string> provider;  // absent for imported transcripts

    bool operator==(const LocalTranscript&) const = default;
    static LocalTranscript fromJSON(const Json& json);
    Json toJSON() const;
};

struct TranscriptionProgress {
    int completedChunks = 0;
    int totalChunks = 0;
    bool operator==(const TranscriptionProgress&) const = default;
};

// "Part 2 of 3": the chunk being worked on, which stays at the total once the last one is done;
// nullopt when there are no chunks to count.
std::optional<std::string> transcriptionPartText(const TranscriptionProgress& progress);

// One audio track to transcribe, built from the manifest.
struct TranscriptionTrack {
    std::string audioFile;
    double sourceOffsetSeconds = 0;
    TranscriptSpeaker defaultSpeaker;
    std::string sourceTrack;
    bool operator==(const TranscriptionTrack&) const = default;
};

// System audio first, then the microphone when the manifest has one. Empty when the manifest has
// no system audio (such a session cannot be transcribed).
std::vector<TranscriptionTrack> transcriptionTracks(const LocalSessionManifest& manifest);

// Track file names joined with a comma and no spaces, for `LocalTranscript::audioFile`.
std::string joinedAudioFiles(const std::vector<TranscriptionTrack>& tracks);

// Writes "transcript.json" atomically, then records it in the manifest and writes "session.json".
// A failure writing the transcript leaves the manifest untouched. Throws FileSystemError.
// Producers replace a transcript with replaceTranscript, which first discards what the old one made.
void storeTranscript(const std::filesystem::path& sessionFolder, LocalSessionManifest manifest,
                     const LocalTranscript& transcript);

// Reads a transcript file. Throws FileSystemError or DecodingError.
LocalTranscript readTranscript(const std::filesystem::path& file);

}  // namespace quillmer
