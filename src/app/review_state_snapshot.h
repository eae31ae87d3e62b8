#pragma once

#include <optional>
#include <string>

#include "engine/capture_engine_state.h"
#include "core/json.h"
#include "platform/user_defaults.h"

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
    Json update;             // update-check status
};

// The state snapshot pushed to the page after every engine change and returned by methods that
// change state.
Json makeStateSnapshot(const CaptureEngineState& state, const SnapshotExtras& extras);

// The snapshot's cloudSync object. Cloud sync is not configured in this build, so connecting is
// offered only once a relay exists.
Json cloudSyncJSON(const CaptureEngineState& state);

// The update-check status the page shows. This build has no release feed, so it only reflects
// the user's "check for updates" choice.
Json updateStatusJSON(const UserDefaults& defaults);

}  // namespace quillmer
