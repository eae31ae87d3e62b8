#pragma once

// Session folders arranged directly on disk, for tests of whatever reads them (link quillmer_capture,
// and quillmer_transcription for the transcript).
#include <cctype>
#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "capture/local_session_manifest.h"
#include "capture/session_folder.h"
#include "core/atomic_file.h"
#include "core/json.h"
#include "transcription/local_transcript.h"

namespace quillmer::testing {

// The manifest of a finished 60-second capture of a 1280 × 720 display (`bounded` false: its video times unknown).
inline LocalSessionManifest recordedManifest(Timestamp createdAt, bool bounded = true) {
    LocalSessionManifest manifest;
    manifest.id = Uuid::random();
    manifest.createdAt = createdAt;
    manifest.width = 1280;
    manifest.height = 720;
    if (bounded) manifest.firstVideoPTSSeconds = 0, manifest.lastVideoPTSSeconds = 60;
    manifest.videoFile = kScreenVideoFileName;
    return manifest;
}

struct SpokenLine {
    double start;
    double duration;
    std::string text;
};

// `text` in lower case: for an id, a look-alike of its canonical upper-case folder name.
inline std::string lowerCase(std::string text) {
    for (auto& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// A transcript of these segments, in this order.
inline LocalTranscript transcriptWith(const std::vector<SpokenLine>& lines) {
    LocalTranscript transcript;
    transcript.createdAt = std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
    transcript.audioFile = kSystemAudioFileName;
    transcript.localeIdentifier = "en-US";
    for (const auto& line : lines)
        transcript.segments.push_back({Uuid::random(), line.start, line.duration, line.text, std::nullopt, std::nullopt,
                                       std::nullopt});
    return transcript;
}

// A transcript with one two-second segment every ten seconds per line of text.
inline LocalTranscript transcriptSaying(const std::vector<std::string>& lines) {
    std::vector<SpokenLine> spoken;
    for (size_t i = 0; i < lines.size(); ++i) spoken.push_back({10.0 * static_cast<double>(i) + 1, 2, lines[i]});
    return transcriptWith(spoken);
}

// An evidence-candidates.json body with `count` candidates, each naming `frame`.
inline std::string candidatesJSON(int count, const std::string& frame = "frames/a.png") {
    Json candidates = Json::array();
    for (int i = 0; i < count; ++i)
        candidates.push_back({{"id", Uuid::random().toString()},
                              {"rangeStartSeconds", i * 20.0},
                              {"rangeEndSeconds", i * 20.0 + 8},
                              {"trigger", "this"},
                              {"transcriptContext", "make this bigger"},
                              {"frameFiles", {frame}},
                              {"visualAnchor", {{"x", 0.1}, {"y", 0.2}, {"width", 0.3}, {"height", 0.1}}}});
    return encodeJSON({{"schemaVersion", 1}, {"createdAt", "2026-05-04T10:00:00Z"}, {"candidates", candidates}});
}

// What a test session holds besides its manifest (absent: that stage has not run).
struct TestSessionFiles {
    std::optional<std::vector<std::string>> transcript = std::nullopt;  // stored with transcriptSaying
    std::optional<int> candidates = std::nullopt;                        // a candidate file with this many
    std::optional<std::vector<SpokenLine>> spoken = std::nullopt;        // stored with transcriptWith
};

// The session's folder under `root`, with its manifest and the files asked for, each recorded.
inline std::filesystem::path writeTestSession(const std::filesystem::path& root, const LocalSessionManifest& manifest,
                                              const TestSessionFiles& files = {}) {
    const auto folder = createSessionFolder(root, manifest.id);
    writeManifest(folder, manifest);
    if (files.transcript) storeTranscript(folder, manifest, transcriptSaying(*files.transcript));
    if (files.spoken) storeTranscript(folder, manifest, transcriptWith(*files.spoken));
    if (files.candidates) {
        writeFileAtomically(folder / kCandidateFileName, candidatesJSON(*files.candidates));
        updateManifest(folder, [](LocalSessionManifest& m) { m.candidateFile = kCandidateFileName; });
    }
    return folder;
}

}  // namespace quillmer::testing
