#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "capture/repository_snapshot.h"
#include "core/iso8601.h"
#include "core/json.h"
#include "core/uuid.h"
#include "evidence/visual_evidence_candidate.h"

namespace quillmer {

// "evidence.json" in an export folder: what was recorded and a digest of every copied file.
struct EvidenceBundleDocument {
    struct DisplaySize {
        int width = 0;
        int height = 0;
        bool operator==(const DisplaySize&) const = default;
        static DisplaySize fromJSON(const Json& json);
        Json toJSON() const;
    };

    struct ClosedRangeValue {
        double start = 0;
        double end = 0;
        bool operator==(const ClosedRangeValue&) const = default;
        static ClosedRangeValue fromJSON(const Json& json);
        Json toJSON() const;
    };

    // A copied file: its path inside the export folder, SHA-256 (lower-case hex) and size.
    struct Artifact {
        std::string path;
        std::string sha256;
        int64_t byteCount = 0;
        bool operator==(const Artifact&) const = default;
        static Artifact fromJSON(const Json& json);
        Json toJSON() const;
    };
    using Frame = Artifact;

    struct Session {
        Uuid id;
        Timestamp capturedAt;
        std::optional<Timestamp> endedAt;
        DisplaySize displaySize;
        std::optional<ClosedRangeValue> videoRangeSeconds;
        Artifact transcript;
        std::optional<RepositorySnapshot> repository;
        bool operator==(const Session&) const = default;
        static Session fromJSON(const Json& json);
        Json toJSON() const;
    };

    struct Candidate {
        Uuid id;
        double rangeStartSeconds = 0;
        double rangeEndSeconds = 0;
        std::string trigger;
        std::string transcriptContext;
        std::vector<Frame> frames;
        std::optional<VisualChangeAnchor> visualAnchor;
        bool operator==(const Candidate&) const = default;
        static Candidate fromJSON(const Json& json);
        Json toJSON() const;
    };

    int schemaVersion = 1;
    Timestamp exportedAt;
    Session session;
    std::vector<Candidate> candidates;

    bool operator==(const EvidenceBundleDocument&) const = default;
    static EvidenceBundleDocument fromJSON(const Json& json);
    Json toJSON() const;
};

}  // namespace quillmer
