#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/iso8601.h"
#include "core/json.h"
#include "core/uuid.h"

namespace quillmer {

// A small changed region of the screen, as fractions of the frame (origin top-left).
struct VisualChangeAnchor {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    bool operator==(const VisualChangeAnchor&) const = default;
    static VisualChangeAnchor fromJSON(const Json& json);
    Json toJSON() const;
};

// One spoken pointing moment with its frames.
struct VisualEvidenceCandidate {
    Uuid id;                       // also the stem of its frame file names
    double rangeStartSeconds = 0;  // on the transcript's clock
    double rangeEndSeconds = 0;
    std::string trigger;
    std::string transcriptContext;
    std::vector<std::string> frameFiles;  // session-relative, each beginning "frames/"
    std::optional<VisualChangeAnchor> visualAnchor;

    bool operator==(const VisualEvidenceCandidate&) const = default;
    static VisualEvidenceCandidate fromJSON(const Json& json);
    Json toJSON() const;
};

// "evidence-candidates.json".
struct VisualEvidenceCandidateBundle {
    int schemaVersion = 1;
    Timestamp createdAt;
    std::vector<VisualEvidenceCandidate> candidates;  // in chronological order of their moments

    bool operator==(const VisualEvidenceCandidateBundle&) const = default;
    static VisualEvidenceCandidateBundle fromJSON(const Json& json);
    Json toJSON() const;
};

// Reads a candidate file. Throws FileSystemError or DecodingError.
VisualEvidenceCandidateBundle readCandidateBundle(const std::filesystem::path& file);

}  // namespace quillmer
