#pragma once

#include <filesystem>
#include <string>

#include "analysis/grounded_feedback.h"
#include "core/json.h"
#include "core/sha256.h"
#include "evidence/evidence_bundle_document.h"
#include "support/temporary_folder.h"

namespace quillmer::testing {

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
    for (const std::string name : {"frames/m1-0.png", "frames/m1-2.png"}) {
        writeTestFile(folder / name, "bytes of " + name);
        a.frames.push_back({name, sha256Hex("bytes of " + name), static_cast<int64_t>(9 + name.size())});
    }
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

}  // namespace quillmer::testing
