#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "app/readiness/capture_pill_controller.h"
#include "app/readiness/capture_pill_hooks.h"
#include "app/readiness/meeting_readiness.h"
#include "engine/capture_engine.h"

namespace quillmer {

class ActiveWindowSource;
class GtkCapturePill;

// The main window's two companions wired to the engine (CapturePillHooks): meeting readiness
// refreshed every second (only in an X11 session; elsewhere it is off and recording works as
// ever), and the GTK capture pill with its tray item. Main thread only; the engine outlives it.
class MeetingCompanions {
public:
    // `activateApplication` brings the main window to the front.
    MeetingCompanions(CaptureEngine& capture, std::function<void()> activateApplication,
                      std::unique_ptr<ActiveWindowSource> windows);
    ~MeetingCompanions();
    MeetingCompanions(const MeetingCompanions&) = delete;
    MeetingCompanions& operator=(const MeetingCompanions&) = delete;

    const MeetingReadiness& readiness() const { return *readiness_; }
    const GtkCapturePill& pill() const { return *pill_; }

private:
    CaptureEngine& capture_;
    std::function<void()> activateApplication_;
    std::unique_ptr<ActiveWindowSource> windows_;
    std::unique_ptr<GtkCapturePill> pill_;
    CapturePillController controller_;
    std::unique_ptr<MeetingReadiness> readiness_;
    std::unique_ptr<CapturePillHooks> hooks_;
    CaptureEngine::ObserverID observer_ = 0;
    unsigned timer_ = 0;
};

}  // namespace quillmer
