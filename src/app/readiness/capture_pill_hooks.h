#pragma once

#include <optional>

#include "app/readiness/capture_pill_controller.h"
#include "app/readiness/meeting_readiness.h"
#include "engine/capture_engine_state.h"

namespace quillmer {

// The hooks between the engine, meeting readiness and the pill, each acting only on a change:
// at start the pill follows a capture already running; a change of the capturing flag updates
// it; a change of the surface in front may prompt; a capture completing shows "Ready to review".
// Main thread only; the controller and readiness outlive it.
class CapturePillHooks {
public:
    CapturePillHooks(CapturePillController& pill, MeetingReadiness& meeting, const CaptureEngineState& initial);
    void engineChanged(const CaptureEngineState& state);

private:
    void readinessRefreshed();

    CapturePillController& pill_;
    MeetingReadiness& meeting_;
    MeetingSurface surface_;
    bool capturing_;
    std::optional<Timestamp> completedAt_;
};

}  // namespace quillmer
