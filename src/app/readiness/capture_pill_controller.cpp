#include "app/readiness/capture_pill_controller.h"

namespace quillmer {

bool MeetingPromptGate::shouldPrompt(MeetingSurface surface) {
    if (surface == MeetingSurface::unknown || surface == MeetingSurface::browser) return false;
    return promptedSurfaces_.insert(surface).second;
}

CapturePillController::CapturePillController(CapturePillView& view, bool offersZoomConnection)
    : view_(view), offersZoomConnection_(offersZoomConnection) {}

void CapturePillController::update(bool capturing) {
    if (!capturing) return hide();
    view_.showPill({PillKind::recording});
    if (!statusItemInstalled_) {
        view_.installStatusItem();
        statusItemInstalled_ = true;
    }
}

void CapturePillController::promptIfNeeded(MeetingSurface surface, bool capturing) {
    // While recording, switching windows takes the indicator down and consumes no prompt.
    if (capturing || surface == MeetingSurface::unknown || surface == MeetingSurface::browser) return hide();
    if (!promptGate_.shouldPrompt(surface)) return;
    view_.showPill({PillKind::meetingPrompt, surface, offersZoomConnection_});
}

void CapturePillController::showPostCapture() { view_.showPill({PillKind::postCapture}); }

void CapturePillController::hide() {
    view_.hidePanel();
    if (statusItemInstalled_) {
        view_.removeStatusItem();
        statusItemInstalled_ = false;
    }
}

}  // namespace quillmer
