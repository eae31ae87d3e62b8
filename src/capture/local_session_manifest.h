#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "capture/repository_snapshot.h"
#include "core/iso8601.h"
#include "core/json.h"
#include "core/uuid.h"

namespace quillmer {

// The record in each session folder's "session.json": the only index of a session.
// Presentation times are seconds on the capture source's clock, not from the file's start.
struct LocalSessionManifest {
    Uuid id;
    Timestamp createdAt;
    uint32_t displayID = 0;
    int width = 0;
    int height = 0;
    std::optional<double> firstVideoPTSSeconds;
    std::optional<double> lastVideoPTSSeconds;
    int videoFrameCount = 0;
    std::optional<std::string> systemAudioFile;
    std::optional<std::string> microphoneAudioFile;
    std::optional<double> systemAudioFirstPTSSeconds;
    std::optional<double> microphoneAudioFirstPTSSeconds;
    std::optional<std::string> transcriptFile;
    std::optional<std::string> candidateFile;
    std::optional<Timestamp> endedAt;
    std::string videoFile;
    std::optional<RepositorySnapshot> repository;
    int schemaVersion = 1;
    std::optional<std::string> sourceMediaFingerprint;

    bool operator==(const LocalSessionManifest&) const = default;

    static LocalSessionManifest fromJSON(const Json& json);  // throws DecodingError
    Json toJSON() const;
};

// Reads "<folder>/session.json". Throws FileSystemError or DecodingError.
LocalSessionManifest readManifest(const std::filesystem::path& sessionFolder);

// Replaces "<folder>/session.json" atomically. Throws FileSystemError.
void writeManifest(const std::filesystem::path& sessionFolder, const LocalSessionManifest& manifest);

// Read, change one field, write atomically; returns what was written. The stage that owns a
// new file calls this only after that file itself is on disk.
LocalSessionManifest updateManifest(const std::filesystem::path& sessionFolder,
                                    const std::function<void(LocalSessionManifest&)>& change);

}  // namespace quillmer
