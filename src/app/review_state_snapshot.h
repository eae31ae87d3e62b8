#pragma once

#include <optional>
#include <string>
#include <vector>

#include "engine/capture_engine_state.h"
#include "core/json.h"

namespace quillmer {

// What the page shows as the meeting's stage, derived from the engine's state.
struct ReviewStage {
    std::string stage;
    std::optional<std::string> detail;
    std::optional<double> progress;
    bool operator==(const ReviewStage&) const = default;
};

ReviewStage deriveReviewStage(const CaptureEngineState& state);

// The parts of a snapshot that do not come from the engine.
struct SnapshotExtras {
    Json disclosure;         // ConsentStore::disclosureJSON
    Json consent;            // ConsentStore::recordingConsentJSON
    Json update;             // UpdateChecker::stateJSON
    Json remoteTranscription = nullptr;  // RemoteTranscriptionState::toJSON; omitted when null
    // The current session's analysis answer: approved (with its passes) or declined; none when
    // the user has not answered yet.
    std::optional<bool> remoteAnalysisApproved = std::nullopt;
    std::vector<std::string> remoteAnalysisApprovedPasses = {};
};

// The state snapshot pushed to the page after every engine change and returned by methods that
// change state.
Json makeStateSnapshot(const CaptureEngineState& state, const SnapshotExtras& extras);

// The snapshot's cloudSync object: configured once Zoom is connected to a relay, and connecting is
// offered only when a relay is configured.
Json cloudSyncJSON(const CaptureEngineState& state);

}  // namespace quillmer
