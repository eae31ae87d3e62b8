#include "app/readiness/meeting_readiness.h"

#include "platform/active_window.h"

namespace quillmer {

MeetingReadiness::MeetingReadiness(ActiveWindowSource* source, bool hasScreenPermission)
    : source_(source), hasScreenPermission_(hasScreenPermission) {
    refresh();
}

void MeetingReadiness::refresh() {
    current_ = classifyActiveWindow(source_ ? source_->activeWindow() : std::nullopt);
    if (observer_) observer_();
}

}  // namespace quillmer
