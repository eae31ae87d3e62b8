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
    hooks_ = std::make_unique<CapturePillHooks>(controller_, *readiness_, capture_.state());
    observer_ = capture_.addObserver([this] { hooks_->engineChanged(capture_.state()); });
    if (windows_) {
        timer_ = g_timeout_add_seconds(
            kRefreshSeconds,
            [](gpointer self) -> gboolean {
                static_cast<MeetingCompanions*>(self)->readiness_->refresh();
                return G_SOURCE_CONTINUE;
            },
            this);
    }
}

MeetingCompanions::~MeetingCompanions() {
    if (timer_) g_source_remove(timer_);
    capture_.removeObserver(observer_);
}

}  // namespace quillmer
