#include "transcription/local_transcript.h"

#include <algorithm>

#include "capture/session_folder.h"
#include "core/atomic_file.h"

namespace quillmer {

TranscriptSpeaker TranscriptSpeaker::fromJSON(const Json& json) {
    const JsonObjectReader reader(json, "TranscriptSpeaker");
    return {reader.optional<std::string>("id"), reader.required<std::string>("name"),
            reader.required<std::string>("role")};
}

Json TranscriptSpeaker::toJSON() const {
    Json json = Json::object();
    putJSON(json, "id", id);
    putJSON(json, "name", name);
    putJSON(json, "role", role);
    return json;
}

LocalTranscriptSegment LocalTranscriptSegment::fromJSON(const Json& json) {
    const JsonObjectReader reader(json, "LocalTranscriptSegment");
    LocalTranscriptSegment s;
    s.id = reader.required<Uuid>("id");
    s.startSeconds = reader.required<double>("startSeconds");
    s.durationSeconds = reader.required<double>("durationSeconds");
    s.text = reader.required<std::string>("text");
    s.confidence = reader.optional<double>("confidence");
    s.speaker = reader.optional<TranscriptSpeaker>("speaker");
    s.sourceTrack = reader.optional<std::string>("sourceTrack");
    return s;
}

Json LocalTranscriptSegment::toJSON() const {
    Json json = Json::object();
    putJSON(json, "id", id);
    putJSON(json, "startSeconds", startSeconds);
    putJSON(json, "durationSeconds", durationSeconds);
    putJSON(json, "text", text);
    putJSON(json, "confidence", confidence);
    putJSON(json, "speaker", speaker);
    putJSON(json, "sourceTrack", sourceTrack);
    return json;
}

LocalTranscript LocalTranscript::fromJSON(const Json& json) {
    const JsonObjectReader reader(json, "transcript.json");
    LocalTranscript t;
    t.schemaVersion = reader.required<int64_t>("schemaVersion");
    t.createdAt = reader.required<Timestamp>("createdAt");
    t.audioFile = reader.required<std::string>("audioFile");
    t.sourcePTSOffsetSeconds = reader.required<double>("sourcePTSOffsetSeconds");
    t.localeIdentifier = reader.required<std::string>("localeIdentifier");
    t.segments = reader.required<std::vector<LocalTranscriptSegment>>("segments");
    t.provider = reader.optional<std::string>("provider");
    return t;
}

Json LocalTranscript::toJSON() const {
    Json json = Json::object();
    putJSON(json, "schemaVersion", schemaVersion);
    putJSON(json, "createdAt", createdAt);
    putJSON(json, "audioFile", audioFile);
    putJSON(json, "sourcePTSOffsetSeconds", sourcePTSOffsetSeconds);
    putJSON(json, "localeIdentifier", localeIdentifier);
    putJSON(json, "segments", segments);
    putJSON(json, "provider", provider);
    return json;
}

std::optional<std::string> transcriptionPartText(const TranscriptionProgress& progress) {
    if (progress.totalChunks < 1) return std::nullopt;
    const int part = std::clamp(progress.completedChunks + 1, 1, progress.totalChunks);
    return "Part " + std::to_string(part) + " of " + std::to_string(progress.totalChunks);
}

std::vector<TranscriptionTrack> transcriptionTracks(const LocalSessionManifest& manifest) {
    std::vector<TranscriptionTrack> tracks;
    if (!manifest.systemAudioFile) return tracks;
    tracks.push_back({*manifest.systemAudioFile, manifest.systemAudioFirstPTSSeconds.value_or(0),
                      TranscriptSpeaker{"remote", "Call audio", "remote"}, "system-audio"});
    if (manifest.microphoneAudioFile)
        tracks.push_back({*manifest.microphoneAudioFile, manifest.microphoneAudioFirstPTSSeconds.value_or(0),
                          TranscriptSpeaker{"self", "You", "self"}, "microphone"});
    return tracks;
}

std::string joinedAudioFiles(const std::vector<TranscriptionTrack>& tracks) {
    std::string joined;
    for (const auto& track : tracks) {
        if (!joined.empty()) joined += ',';
        joined += track.audioFile;
    }
    return joined;
}

void storeTranscript(const std::filesystem::path& sessionFolder, LocalSessionManifest manifest,
                     const LocalTranscript& transcript) {
    const auto file = sessionFolder / kTranscriptFileName;
    writeFileAtomically(file, encodeJSON(transcript.toJSON()));
    manifest.transcriptFile = file.filename().string();
    writeManifest(sessionFolder, manifest);
}

LocalTranscript readTranscript(const std::filesystem::path& file) {
    return LocalTranscript::fromJSON(parseJSON(readWholeFile(file)));
}

}  // namespace quillmer
