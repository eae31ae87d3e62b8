#pragma once

#include <functional>
#include <optional>

#include "app/readiness/capture_pill_controller.h"
#include "core/iso8601.h"

typedef struct _GtkWidget GtkWidget;
typedef struct _AppIndicator AppIndicator;

namespace quillmer {

// What the pill's buttons and the tray item's menu do. All called on the main thread.
struct CapturePillActions {
    std::function<void()> record;
    std::function<void()> connectZoom;
    std::function<void()> dismiss;
    std::function<void()> openReview;
    std::function<void()> stopCapture;
    std::function<void()> openApplication;
    // When the running capture started (the recording pill counts from it).
    std::function<std::optional<Timestamp>()> captureStartedAt;
};

// The pill as a small undecorated GTK utility window that stays above the others, on every
// workspace, never taking the focus (draggable by its background); the tray item as an Ayatana
// AppIndicator (StatusNotifierItem) with "Stop Recording" and "Open Quillmer". Main thread only.
class GtkCapturePill final : public CapturePillView {
public:
    explicit GtkCapturePill(CapturePillActions actions);
    ~GtkCapturePill() override;
    GtkCapturePill(const GtkCapturePill&) = delete;
    GtkCapturePill& operator=(const GtkCapturePill&) = delete;

    void showPill(const PillContent& content) override;
    void hidePanel() override;
    void installStatusItem() override;
    void removeStatusItem() override;

    // For tests: the panel (absent until the first pill) and the tray item (absent when none).
    GtkWidget* panel() const { return panel_; }
    AppIndicator* statusItem() const { return statusItem_; }

private:
    void ensurePanel();
    GtkWidget* recordingContent();
    GtkWidget* promptContent(const PillContent& content);
    GtkWidget* postCaptureContent();
    void updateElapsed();
    void stopTicking();

    CapturePillActions actions_;
    GtkWidget* panel_ = nullptr;
    GtkWidget* elapsedLabel_ = nullptr;  // while the recording pill shows
    unsigned tick_ = 0;
    AppIndicator* statusItem_ = nullptr;
};

}  // namespace quillmer
