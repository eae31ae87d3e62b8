#pragma once

#include <chrono>
#include <mutex>
#include <stop_token>
#include <string>
#include <vector>

#include "evidence/evidence_bundle_document.h"
#include "support/temporary_folder.h"

namespace quillmer::testing {

// An export folder holding one evidence candidate and the frame files it lists.
struct EvidenceCandidateBundle {
    TemporaryFolder folder;
    EvidenceBundleDocument::Candidate candidate;

    EvidenceCandidateBundle() {
        candidate.id = *Uuid::parse("0A1B2C3D-0000-4000-8000-00000000C0DE");
        candidate.rangeStartSeconds = 65.25;
        candidate.rangeEndSeconds = 70;
        candidate.trigger = "this button";
        candidate.transcriptContext = "So here.  This Save button\nshould be BLUE instead of grey.";
        addFrame("frames/c-at.PNG", "png-bytes");
        addFrame("frames/c-after.webp", "webp-bytes");
    }

    // Lists the path and, unless it is empty, writes the file.
    void addFrame(const std::string& path, const std::string& bytes) {
        if (!bytes.empty()) writeTestFile(folder / path, bytes);
        candidate.frames.push_back({path, "", static_cast<int64_t>(bytes.size())});
    }
};

// Records every wait between attempts instead of sleeping.
struct RecordedWaits {
    std::mutex mutex;
    std::vector<long long> milliseconds;

    auto sleeper() {
        return [this](std::chrono::milliseconds delay, std::stop_token) {
            std::lock_guard lock(mutex);
            milliseconds.push_back(delay.count());
        };
    }
};

}  // namespace quillmer::testing
