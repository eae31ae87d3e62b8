#include "app/desktop/gtk_capture_pill.h"

#include <gtk/gtk.h>
#include <libayatana-appindicator/app-indicator.h>

namespace quillmer {

namespace {

constexpr const char* kStatusItemID = "ai.quillmer.Quillmer.recording";
constexpr const char* kRecordingIcon = "media-record";

constexpr const char* kPillStyle = R"(
.quillmer-pill {
  background-color: rgba(255, 255, 255, 0.96);
  border: 1px solid rgba(0, 0, 0, 0.12);
  border-radius: 14px;
  padding: 8px 12px;
}
.quillmer-pill .recording-dot { color: #e01b24; font-size: 14px; }
.quillmer-pill .prompt-icon { color: #1c71d8; }
.quillmer-pill .headline { font-weight: bold; }
.quillmer-pill .question { color: rgba(0, 0, 0, 0.6); font-size: 90%; }
.quillmer-pill .elapsed { font-feature-settings: "tnum"; }
)";

// Calls the std::function stored on the widget when it is clicked or activated.
void connectAction(GtkWidget* widget, const char* signal, const std::function<void()>& action) {
    g_signal_connect_data(
        widget, signal, G_CALLBACK(+[](GtkWidget*, gpointer data) {
            const auto& run = *static_cast<std::function<void()>*>(data);
            if (run) run();
        }),
        new std::function<void()>(action), [](gpointer data, GClosure*) { delete static_cast<std::function<void()>*>(data); },
        GConnectFlags(0));
}

GtkWidget* labelWithClass(const char* text, const char* styleClass) {
    GtkWidget* label = gtk_label_new(text);
    gtk_label_set_xalign(GTK_LABEL(label), 0);
    if (styleClass) gtk_style_context_add_class(gtk_widget_get_style_context(label), styleClass);
    return label;
}

GtkWidget* button(const char* text, const std::function<void()>& action, const char* styleClass = nullptr) {
    GtkWidget* widget = gtk_button_new_with_label(text);
    gtk_widget_set_valign(widget, GTK_ALIGN_CENTER);
    gtk_widget_set_can_focus(widget, FALSE);
    if (styleClass) gtk_style_context_add_class(gtk_widget_get_style_context(widget), styleClass);
    connectAction(widget, "clicked", action);
    return widget;
}

GtkWidget* row() { return gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 10); }

// Dragging the background moves the pill.
gboolean beginMove(GtkWidget* widget, GdkEventButton* event, gpointer) {
    if (event->button != GDK_BUTTON_PRIMARY) return FALSE;
    gtk_window_begin_move_drag(GTK_WINDOW(gtk_widget_get_toplevel(widget)), static_cast<gint>(event->button),
                               static_cast<gint>(event->x_root), static_cast<gint>(event->y_root), event->time);
    return TRUE;
}

// The work area of the primary monitor (else the first), or none without a monitor.
std::optional<ScreenArea> mainWorkArea() {
    GdkDisplay* display = gdk_display_get_default();
    if (!display) return std::nullopt;
    GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
    if (!monitor && gdk_display_get_n_monitors(display) > 0) monitor = gdk_display_get_monitor(display, 0);
    if (!monitor) return std::nullopt;
    GdkRectangle area;
    gdk_monitor_get_workarea(monitor, &area);
    return ScreenArea{area.x, area.y, area.width, area.height};
}

}  // namespace

GtkCapturePill::GtkCapturePill(CapturePillActions actions) : actions_(std::move(actions)) {}

GtkCapturePill::~GtkCapturePill() {
    stopTicking();
    removeStatusItem();
    if (panel_) gtk_widget_destroy(panel_);
}

void GtkCapturePill::ensurePanel() {
    if (panel_) return;
    GtkCssProvider* provider = gtk_css_provider_new();
    gtk_css_provider_load_from_data(provider, kPillStyle, -1, nullptr);
    gtk_style_context_add_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(provider),
                                              GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    g_object_unref(provider);

    panel_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    GtkWindow* window = GTK_WINDOW(panel_);
    gtk_window_set_title(window, "Quillmer");
    gtk_window_set_type_hint(window, GDK_WINDOW_TYPE_HINT_UTILITY);
    gtk_window_set_decorated(window, FALSE);
    gtk_window_set_resizable(window, FALSE);
    gtk_window_set_keep_above(window, TRUE);
    gtk_window_stick(window);
    gtk_window_set_skip_taskbar_hint(window, TRUE);
    gtk_window_set_skip_pager_hint(window, TRUE);
    gtk_window_set_accept_focus(window, FALSE);
    gtk_window_set_focus_on_map(window, FALSE);
    // Rounded corners need a see-through window where the desktop composites.
    if (GdkVisual* visual = gdk_screen_get_rgba_visual(gtk_widget_get_screen(panel_))) {
        gtk_widget_set_visual(panel_, visual);
        gtk_widget_set_app_paintable(panel_, TRUE);
    }
    gtk_widget_add_events(panel_, GDK_BUTTON_PRESS_MASK);
    g_signal_connect(panel_, "button-press-event", G_CALLBACK(beginMove), nullptr);
    // Closing it from the window manager only hides it.
    g_signal_connect(panel_, "delete-event", G_CALLBACK(gtk_widget_hide_on_delete), nullptr);
}

void GtkCapturePill::showPill(const PillContent& content) {
    ensurePanel();
    stopTicking();
    if (GtkWidget* previous = gtk_bin_get_child(GTK_BIN(panel_))) gtk_widget_destroy(previous);

    GtkWidget* body = content.kind == PillKind::recording       ? recordingContent()
                      : content.kind == PillKind::meetingPrompt ? promptContent(content)
                                                                : postCaptureContent();
    gtk_style_context_add_class(gtk_widget_get_style_context(body), "quillmer-pill");
    const PillSize size = pillContentSize(content.kind);
    gtk_widget_set_size_request(body, size.width, size.height);
    gtk_container_add(GTK_CONTAINER(panel_), body);
    gtk_window_resize(GTK_WINDOW(panel_), size.width, size.height);
    if (const auto area = mainWorkArea()) {
        const PillOrigin origin = pillOrigin(*area, size);
        gtk_window_move(GTK_WINDOW(panel_), origin.x, origin.y);
    }
    gtk_widget_show_all(panel_);
    if (GdkWindow* surface = gtk_widget_get_window(panel_)) gdk_window_raise(surface);
}

void GtkCapturePill::hidePanel() {
    stopTicking();
    if (panel_) gtk_widget_hide(panel_);
}

GtkWidget* GtkCapturePill::recordingContent() {
    GtkWidget* box = row();
    gtk_box_pack_start(GTK_BOX(box), labelWithClass("\u25CF", "recording-dot"), FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(box), labelWithClass(kRecordingWord, "headline"), FALSE, FALSE, 0);
    elapsedLabel_ = labelWithClass("", "elapsed");
    gtk_box_pack_start(GTK_BOX(box), elapsedLabel_, TRUE, TRUE, 0);
    gtk_box_pack_end(GTK_BOX(box), button(kStopLabel, actions_.stopCapture, "destructive-action"), FALSE, FALSE, 0);
    updateElapsed();
    tick_ = g_timeout_add_seconds(
        1,
        [](gpointer self) -> gboolean {
            static_cast<GtkCapturePill*>(self)->updateElapsed();
            return G_SOURCE_CONTINUE;
        },
        this);
    return box;
}

void GtkCapturePill::updateElapsed() {
    if (!elapsedLabel_) return;
    const auto startedAt = actions_.captureStartedAt ? actions_.captureStartedAt() : std::nullopt;
    const std::string elapsed = recordingElapsedText(startedAt, std::chrono::system_clock::now());
    gtk_label_set_text(GTK_LABEL(elapsedLabel_), elapsed.c_str());
    const std::string label = recordingAccessibilityLabel(elapsed);
    if (AtkObject* accessible = gtk_widget_get_accessible(gtk_widget_get_parent(elapsedLabel_)))
        atk_object_set_name(accessible, label.c_str());
}

void GtkCapturePill::stopTicking() {
    if (tick_) g_source_remove(tick_);
    tick_ = 0;
    elapsedLabel_ = nullptr;
}

GtkWidget* GtkCapturePill::promptContent(const PillContent& content) {
    GtkWidget* box = row();
    GtkWidget* icon = gtk_image_new_from_icon_name(iconName(content.surface), GTK_ICON_SIZE_LARGE_TOOLBAR);
    gtk_style_context_add_class(gtk_widget_get_style_context(icon), "prompt-icon");
    gtk_box_pack_start(GTK_BOX(box), icon, FALSE, FALSE, 0);

    GtkWidget* words = gtk_box_new(GTK_ORIENTATION_VERTICAL, 2);
    gtk_widget_set_valign(words, GTK_ALIGN_CENTER);
    gtk_box_pack_start(GTK_BOX(words), labelWithClass(meetingPromptHeadline(content.surface).c_str(), "headline"),
                       FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(words), labelWithClass(kPromptQuestion, "question"), FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(box), words, TRUE, TRUE, 0);

    gtk_box_pack_start(GTK_BOX(box), button(kRecordLabel, actions_.record, "suggested-action"), FALSE, FALSE, 0);
    if (content.offersZoomConnection)
        gtk_box_pack_start(GTK_BOX(box), button(kConnectZoomLabel, actions_.connectZoom), FALSE, FALSE, 0);
    GtkWidget* close = gtk_button_new_from_icon_name("window-close-symbolic", GTK_ICON_SIZE_BUTTON);
    gtk_button_set_relief(GTK_BUTTON(close), GTK_RELIEF_NONE);
    gtk_widget_set_valign(close, GTK_ALIGN_CENTER);
    gtk_widget_set_can_focus(close, FALSE);
    gtk_widget_set_tooltip_text(close, "Dismiss");
    connectAction(close, "clicked", actions_.dismiss);
    gtk_box_pack_start(GTK_BOX(box), close, FALSE, FALSE, 0);
    return box;
}

GtkWidget* GtkCapturePill::postCaptureContent() {
    GtkWidget* box = row();
    gtk_box_pack_start(GTK_BOX(box), gtk_image_new_from_icon_name("emblem-ok-symbolic", GTK_ICON_SIZE_LARGE_TOOLBAR),
                       FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(box), labelWithClass(kReadyToReview, "headline"), TRUE, TRUE, 0);
    gtk_box_pack_end(GTK_BOX(box), button(kOpenLabel, actions_.openReview, "suggested-action"), FALSE, FALSE, 0);
    return box;
}

void GtkCapturePill::installStatusItem() {
    if (statusItem_) return;
    statusItem_ = app_indicator_new(kStatusItemID, kRecordingIcon, APP_INDICATOR_CATEGORY_APPLICATION_STATUS);
    app_indicator_set_icon_full(statusItem_, kRecordingIcon, kStatusItemAccessibleName);
    app_indicator_set_label(statusItem_, kStatusItemLabel, kStatusItemLabel);
    app_indicator_set_title(statusItem_, kStatusItemTooltip);

    GtkWidget* menu = gtk_menu_new();
    GtkWidget* stop = gtk_menu_item_new_with_label(kStatusItemStop);
    connectAction(stop, "activate", actions_.stopCapture);
    GtkWidget* open = gtk_menu_item_new_with_label(kStatusItemOpen);
    connectAction(open, "activate", actions_.openApplication);
    gtk_menu_shell_append(GTK_MENU_SHELL(menu), stop);
    gtk_menu_shell_append(GTK_MENU_SHELL(menu), open);
    gtk_widget_show_all(menu);
    app_indicator_set_menu(statusItem_, GTK_MENU(menu));
    app_indicator_set_status(statusItem_, APP_INDICATOR_STATUS_ACTIVE);
}

void GtkCapturePill::removeStatusItem() {
    if (!statusItem_) return;
    app_indicator_set_status(statusItem_, APP_INDICATOR_STATUS_PASSIVE);
    g_object_unref(statusItem_);
    statusItem_ = nullptr;
}

}  // namespace quillmer
