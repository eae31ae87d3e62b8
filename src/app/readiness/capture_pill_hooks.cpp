#include "app/readiness/capture_pill_hooks.h"

namespace quillmer {

CapturePillHooks::CapturePillHooks(CapturePillController& pill, MeetingReadiness& meeting,
                                   const CaptureEngineState& initial)
    : pill_(pill),
      meeting_(meeting),
      surface_(meeting.surface()),
      capturing_(initial.isCapturing),
      completedAt_(initial.captureCompletedAt) {
    meeting_.setObserver([this] { readinessRefreshed(); });
    pill_.update(capturing_);
}

void CapturePillHooks::engineChanged(const CaptureEngineState& state) {
    if (state.isCapturing != capturing_) {
        capturing_ = state.isCapturing;
        pill_.update(capturing_);
    }
    if (state.captureCompletedAt != completedAt_) {
        completedAt_ = state.captureCompletedAt;
        if (completedAt_) pill_.showPostCapture();
    }
}

void CapturePillHooks::readinessRefreshed() {
    if (meeting_.surface() == surface_) return;
    surface_ = meeting_.surface();
    pill_.promptIfNeeded(surface_, capturing_);
}

}  // namespace quillmer
