#include "capture/local_session_manifest.h"

#include "capture/session_folder.h"
#include "core/atomic_file.h"

namespace quillmer {

LocalSessionManifest LocalSessionManifest::fromJSON(const Json& json) {
    const JsonObjectReader reader(json, "session.json");
    LocalSessionManifest m;
    m.id = reader.required<Uuid>("id");
    m.createdAt = reader.required<Timestamp>("createdAt");
    m.displayID = reader.required<uint32_t>("displayID");
    m.width = reader.required<int>("width");
    m.height = reader.required<int>("height");
    m.firstVideoPTSSeconds = reader.optional<double>("firstVideoPTSSeconds");
    m.lastVideoPTSSeconds = reader.optional<double>("lastVideoPTSSeconds");
    m.videoFrameCount = reader.required<int>("videoFrameCount");
    m.systemAudioFile = reader.optional<std::string>("systemAudioFile");
    m.microphoneAudioFile = reader.optional<std::string>("microphoneAudioFile");
    m.systemAudioFirstPTSSeconds = reader.optional<double>("systemAudioFirstPTSSeconds");
    m.microphoneAudioFirstPTSSeconds = reader.optional<double>("microphoneAudioFirstPTSSeconds");
    m.transcriptFile = reader.optional<std::string>("transcriptFile");
    m.candidateFile = reader.optional<std::string>("candidateFile");
    m.endedAt = reader.optional<Timestamp>("endedAt");
    m.videoFile = reader.required<std::string>("videoFile");
    m.repository = reader.optional<RepositorySnapshot>("repository");
    m.schemaVersion = reader.required<int>("schemaVersion");
    m.sourceMediaFingerprint = reader.optional<std::string>("sourceMediaFingerprint");
    return m;
}

Json LocalSessionManifest::toJSON() const {
    Json json = Json::object();
    putJSON(json, "id", id);
    putJSON(json, "createdAt", createdAt);
    putJSON(json, "displayID", displayID);
    putJSON(json, "width", width);
    putJSON(json, "height", height);
    putJSON(json, "firstVideoPTSSeconds", firstVideoPTSSeconds);
    putJSON(json, "lastVideoPTSSeconds", lastVideoPTSSeconds);
    putJSON(json, "videoFrameCount", videoFrameCount);
    putJSON(json, "systemAudioFile", systemAudioFile);
    putJSON(json, "microphoneAudioFile", microphoneAudioFile);
    putJSON(json, "systemAudioFirstPTSSeconds", systemAudioFirstPTSSeconds);
    putJSON(json, "microphoneAudioFirstPTSSeconds", microphoneAudioFirstPTSSeconds);
    putJSON(json, "transcriptFile", transcriptFile);
    putJSON(json, "candidateFile", candidateFile);
    putJSON(json, "endedAt", endedAt);
    putJSON(json, "videoFile", videoFile);
    putJSON(json, "repository", repository);
    putJSON(json, "schemaVersion", schemaVersion);
    putJSON(json, "sourceMediaFingerprint", sourceMediaFingerprint);
    return json;
}

LocalSessionManifest readManifest(const std::filesystem::path& sessionFolder) {
    return LocalSessionManifest::fromJSON(parseJSON(readWholeFile(sessionFolder / kSessionManifestFileName)));
}

void writeManifest(const std::filesystem::path& sessionFolder, const LocalSessionManifest& manifest) {
    writeFileAtomically(sessionFolder / kSessionManifestFileName, encodeJSON(manifest.toJSON()));
}

LocalSessionManifest updateManifest(const std::filesystem::path& sessionFolder,
                                    const std::function<void(LocalSessionManifest&)>& change) {
    LocalSessionManifest manifest = readManifest(sessionFolder);
    change(manifest);
    writeManifest(sessionFolder, manifest);
    return manifest;
}

}  // namespace quillmer
