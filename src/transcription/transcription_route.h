#pragma once

#include <filesystem>
#include <memory>
#include <stop_token>
#include <string>
#include <vector>

#include "transcription/local_transcript.h"

namespace quillmer {

// One approved remote route for one run: uploads whole tracks for diarized transcription.
class RemoteTranscriptionPlan {
public:
    virtual ~RemoteTranscriptionPlan() = default;
    // The transcript's `provider` for this route.
    virtual std::string provider() const = 0;
    // The track's segments on the source clock, unsorted. Throws on any failure; the transcriber
    // records it and continues on this computer.
    virtual std::vector<LocalTranscriptSegment> transcribeTrack(const std::filesystem::path& audioFile,
                                                                const std::string& idempotencyPrefix,
                                                                const TranscriptionTrack& track, std::stop_token stop) = 0;
};

// Asked once per run whether the audio may leave this computer.
class TranscriptionRouteDecider {
public:
    virtual ~TranscriptionRouteDecider() = default;
    // nullptr: transcribe on this computer only.
    virtual std::unique_ptr<RemoteTranscriptionPlan> remotePlan() = 0;
};

// The only route until remote transcription is approved and configured.
class LocalOnlyRouteDecider final : public TranscriptionRouteDecider {
public:
    std::unique_ptr<RemoteTranscriptionPlan> remotePlan() override { return nullptr; }
};

}  // namespace quillmer
