#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "analysis/grounded_feedback.h"
#include "core/json.h"
#include "core/sha256.h"
#include "evidence/evidence_bundle_document.h"
#include "support/temporary_folder.h"
#include "transcription/local_transcript.h"

// Export folders shaped like the ones Quillmer writes, from one evidence moment to a whole
// analysed meeting, for the analysis, review and coding-agent tests and benchmarks.
namespace quillmer::testing {

// Writes `bytes` at `folder`/`path` and returns the frame entry that lists it.
inline EvidenceBundleDocument::Artifact writeFrame(const std::filesystem::path& folder, const std::string& path,
                                                   const std::string& bytes) {
    writeTestFile(folder / path, bytes);
    return {path, sha256Hex(bytes), static_cast<int64_t>(bytes.size())};
}

// An export folder holding one evidence candidate and the frame files it lists.
struct EvidenceCandidateBundle {
    TemporaryFolder folder;
    EvidenceBundleDocument::Candidate candidate{*Uuid::parse("0A1B2C3D-0000-4000-8000-00000000C0DE"), 65.25, 70,
                                                "this button", "So here.  This Save button\nshould be BLUE instead of grey.",
                                                {}, std::nullopt};

    EvidenceCandidateBundle() {
        addFrame("frames/c-at.PNG", "png-bytes");
        addFrame("frames/c-after.webp", "webp-bytes");
    }
    // Lists the path and, unless it is empty, writes the file.
    void addFrame(const std::string& path, const std::string& bytes) {
        candidate.frames.push_back(bytes.empty() ? EvidenceBundleDocument::Artifact{path, "", 0} : writeFrame(folder.path(), path, bytes));
    }
};

// Writes an export folder's evidence.json: `count` candidates, each with `framesEach` frames of
// `frameBytes` bytes, and its transcript copy with one segment per candidate. Returns the
// candidates in bundle order.
inline std::vector<EvidenceBundleDocument::Candidate> writeEvidenceBundle(const std::filesystem::path& folder, int count,
                                                                          int framesEach = 1, int frameBytes = 10) {
    EvidenceBundleDocument bundle;
    bundle.session.id = Uuid::random();
    bundle.session.transcript.path = "transcript.json";
    LocalTranscript transcript;
    std::filesystem::create_directories(folder / "frames");
    for (int i = 0; i < count; ++i) {
        EvidenceBundleDocument::Candidate candidate;
        candidate.id = Uuid::random();
        candidate.trigger = "make";
        candidate.transcriptContext = "Make the button blue, café " + std::to_string(i);
        for (int f = 0; f < framesEach; ++f)
            candidate.frames.push_back(writeFrame(folder, "frames/" + std::to_string(i) + "-" + std::to_string(f) + ".png",
                                                  std::string(static_cast<size_t>(frameBytes), 'x')));
        bundle.candidates.push_back(candidate);
        transcript.segments.push_back({Uuid::random(), static_cast<double>(i), 1, candidate.transcriptContext, {}, {}, {}});
    }
    writeTestFile(folder / "transcript.json", encodeJSON(transcript.toJSON()));
    writeTestFile(folder / "evidence.json", encodeJSON(bundle.toJSON()));
    return bundle.candidates;
}

// Feedback item ids of writeGroundedExport; each item's candidate has the same id.
inline const std::string kGroundedA = "AAAAAAAA-0000-4000-8000-000000000001", kGroundedB = "BBBBBBBB-0000-4000-8000-000000000002",
                         kGroundedC = "CCCCCCCC-0000-4000-8000-000000000003";

// An analysed export in `folder`: candidate A (65.25-70 s) with frames "-0" and "-2" on disk,
// candidate B (1-2.5 s) without frames, and three items, "Comp A"/"Change A"/... at confidence
// 0.876, 0.72 and 0.71, whose third names no known candidate. Returns the report it wrote.
inline GroundedFeedbackReport writeGroundedExport(const std::filesystem::path& folder) {
    EvidenceBundleDocument bundle;
    bundle.session.transcript = {"transcript.json", "ab", 2};
    bundle.session.repository = RepositorySnapshot{"/src", "0123abc", "main"};
    EvidenceBundleDocument::Candidate a{*Uuid::parse(kGroundedA), 65.25, 70, "this", "So here", {}, std::nullopt};
    for (const std::string name : {"frames/m1-0.png", "frames/m1-2.png"}) a.frames.push_back(writeFrame(folder, name, "bytes of " + name));
    bundle.candidates = {a, {*Uuid::parse(kGroundedB), 1, 2.5, "that", "And there", {}, std::nullopt}};
    writeTestFile(folder / "evidence.json", encodeJSON(bundle.toJSON()));
    GroundedFeedbackReport report;
    for (const auto& [id, confidence] : {std::pair{kGroundedA, 0.876}, {kGroundedB, 0.72}, {kGroundedC, 0.71}}) {
        const auto letter = id.substr(0, 1);
        report.items.push_back({*Uuid::parse(id), *Uuid::parse(id), "Comp " + letter, "Seen " + letter,
                                "Change " + letter, "Quote " + letter, confidence, {}});
    }
    writeTestFile(folder / "feedback.json", encodeJSON(report.toJSON()));
    return report;
}

// A whole meeting's export as the coding-agent server reads it: evidence, feedback, summary,
// brief and review state, with tiny PNG frames.
struct GeneratedExport {
    int index = 0;           // a higher index is a later meeting
    bool withBrief = true;   // feedback, summary, review state and brief; false: evidence only
    int candidates = 3;      // evidence moments, three frames each; the brief covers the first three
};

// The id (folder name) of the export with this index.
std::string generatedExportID(int index);
// Writes `root`/<id>/ and returns it.
std::filesystem::path writeGeneratedExport(const std::filesystem::path& root, const GeneratedExport& options);

}  // namespace quillmer::testing
