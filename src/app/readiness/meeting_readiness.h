#pragma once

#include <functional>
#include <string>

#include "app/readiness/meeting_surface.h"

namespace quillmer {

class ActiveWindowSource;

// Which meeting surface is in front, refreshed from the active window. Without a source (no X11
// session) it stays at `unknown` and readiness is simply off.
//
// Threading: main thread only. The desktop app calls refresh() once a second; construction
// refreshes once.
class MeetingReadiness {
public:
    MeetingReadiness(ActiveWindowSource* source, bool hasScreenPermission);

    // Re-reads the active window and publishes the result, also when it did not change; the
    // observer compares for itself.
    void refresh();
    void setObserver(std::function<void()> observer) { observer_ = std::move(observer); }

    MeetingSurface surface() const { return current_.surface; }
    const std::string& applicationName() const { return current_.applicationName; }
    bool hasScreenPermission() const { return hasScreenPermission_; }

private:
    ActiveWindowSource* source_;
    bool hasScreenPermission_;
    ClassifiedWindow current_;
    std::function<void()> observer_;
};

}  // namespace quillmer
