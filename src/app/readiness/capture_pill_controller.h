#pragma once

#include <set>

#include "app/readiness/capture_pill_layout.h"
#include "app/readiness/meeting_surface.h"

namespace quillmer {

struct PillContent {
    PillKind kind = PillKind::recording;
    MeetingSurface surface = MeetingSurface::unknown;  // the prompt's surface
    bool offersZoomConnection = false;                  // the prompt's "Connect Zoom" button
    bool operator==(const PillContent&) const = default;
};

// What draws the pill and the tray item (GTK in the app, a recorder in tests). One panel: showing
// replaces whatever it showed before.
class CapturePillView {
public:
    virtual ~CapturePillView() = default;
    // Creates the panel on first use, sets this content at its size, places it and raises it
    // without taking the focus.
    virtual void showPill(const PillContent& content) = 0;
    // Hides the panel; it is kept for the next pill.
    virtual void hidePanel() = 0;
    virtual void installStatusItem() = 0;
    virtual void removeStatusItem() = 0;
};

// Offers each meeting application at most once per run; browsers and other windows never.
class MeetingPromptGate {
public:
    bool shouldPrompt(MeetingSurface surface);

private:
    std::set<MeetingSurface> promptedSurfaces_;
};

// Decides what the pill shows: the recording indicator and tray item while capturing, the
// prompt when a meeting application comes to the front, "Ready to review" when a capture
// completes. Main thread only; lives as long as the application.
class CapturePillController {
public:
    // `offersZoomConnection`: a relay endpoint is configured, so the prompt can connect Zoom.
    CapturePillController(CapturePillView& view, bool offersZoomConnection);

    // The engine's capturing flag may have changed.
    void update(bool capturing);
    // The surface in front changed.
    void promptIfNeeded(MeetingSurface surface, bool capturing);
    // A capture completed.
    void showPostCapture();
    void hide();

private:
    CapturePillView& view_;
    bool offersZoomConnection_;
    MeetingPromptGate promptGate_;
    bool statusItemInstalled_ = false;
};

}  // namespace quillmer
