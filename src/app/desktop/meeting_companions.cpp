#include "app/desktop/meeting_companions.h"

#include <glib.h>

#include "app/desktop/gtk_capture_pill.h"
#include "platform/active_window.h"

namespace quillmer {

namespace {
constexpr unsigned kRefreshSeconds = 1;
}  // namespace

MeetingCompanions::MeetingCompanions(CaptureEngine& capture, std::function<void()> activateApplication,
                                     std::unique_ptr<ActiveWindowSource> windows)
    : capture_(capture),
      activateApplication_(std::move(activateApplication)),
      windows_(std::move(windows)),
      pill_(std::make_unique<GtkCapturePill>(CapturePillActions{
          .record =
              [this] {
                  capture_.requestCapturePrompt();
                  activateApplication_();
                  controller_.hide();
              },
          // Offered only with a relay endpoint, which this build does not have.
          .connectZoom =
              [this] {
                  activateApplication_();
                  controller_.hide();
              },
          .dismiss = [this] { controller_.hide(); },
          .openReview =
              [this] {
                  activateApplication_();
                  controller_.hide();
              },
          .stopCapture = [this] { capture_.stopCapture(); },
          .openApplication = [this] { activateApplication_(); },
          .captureStartedAt = [this] { return capture_.state().captureStartedAt; },
      })),
      controller_(*pill_, false),
      readiness_(std::make_unique<MeetingReadiness>(windows_.get(), windows_ != nullptr)) {
    lastSurface_ = readiness_->surface();
    lastCapturing_ = capture_.state().isCapturing;
    lastCompletedAt_ = capture_.state().captureCompletedAt;
    readiness_->setObserver([this] { surfaceChanged(); });
    observer_ = capture_.addObserver([this] { engineChanged(); });
    if (windows_) {
        timer_ = g_timeout_add_seconds(
            kRefreshSeconds,
            [](gpointer self) -> gboolean {
                static_cast<MeetingCompanions*>(self)->readiness_->refresh();
                return G_SOURCE_CONTINUE;
            },
            this);
    }
    controller_.update(lastCapturing_);
}

MeetingCompanions::~MeetingCompanions() {
    if (timer_) g_source_remove(timer_);
    capture_.removeObserver(observer_);
}

void MeetingCompanions::engineChanged() {
    const CaptureEngineState& state = capture_.state();
    if (state.isCapturing != lastCapturing_) {
        lastCapturing_ = state.isCapturing;
        controller_.update(lastCapturing_);
    }
    if (state.captureCompletedAt != lastCompletedAt_) {
        lastCompletedAt_ = state.captureCompletedAt;
        if (lastCompletedAt_) controller_.showPostCapture();
    }
}

void MeetingCompanions::surfaceChanged() {
    if (readiness_->surface() == lastSurface_) return;
    lastSurface_ = readiness_->surface();
    controller_.promptIfNeeded(lastSurface_, capture_.state().isCapturing);
}

}  // namespace quillmer
