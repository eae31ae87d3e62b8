#include "app/desktop/meeting_companions.h"

#include <gtk/gtk.h>
#include <gtest/gtest.h>
#include <libayatana-appindicator/app-indicator.h>

#include <thread>

#include "app/desktop/gtk_capture_pill.h"
#include "support/engine_test_fixture.h"
#include "platform/linux/x11_active_window.h"
#include "support/private_x_server.h"
#include "support/x11_test_windows.h"

namespace quillmer {
namespace {

// The first widget under `widget` (itself included) that `matches`.
GtkWidget* findWidget(GtkWidget* widget, const std::function<bool(GtkWidget*)>& matches) {
    if (matches(widget)) return widget;
    GtkWidget* found = nullptr;
    if (GTK_IS_CONTAINER(widget)) {
        GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
        for (GList* child = children; child && !found; child = child->next) found = findWidget(GTK_WIDGET(child->data), matches);
        g_list_free(children);
    }
    return found;
}

// The whole desktop companion in a private X server: real windows, GTK pill, engine on fakes. Which
// window gets a prompt when is the readiness tests' business; here the GTK pill and tray follow it.
class MeetingCompanionsTest : public testing::EngineTest {
protected:
    static void SetUpTestSuite() {
        if (testing::PrivateXServer::unavailableReason()) return;
        display = new testing::PrivateXServer();
        initialised = gtk_init_check(nullptr, nullptr);
    }
    void SetUp() override {
        if (auto reason = testing::PrivateXServer::unavailableReason()) GTEST_SKIP() << *reason;
        ASSERT_TRUE(initialised);
    }

    // Turns both main loops (GLib's and the engine's) until `done`, or gives up after a while.
    bool waitFor(const std::function<bool()>& done) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            queue.runPending();
            if (!g_main_context_iteration(nullptr, FALSE)) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }
    // The visible pill's label or button with this text; none while the pill is hidden.
    static GtkWidget* onPill(const MeetingCompanions& companions, const std::string& text) {
        GtkWidget* panel = companions.pill().panel();
        if (!panel || !gtk_widget_get_visible(panel)) return nullptr;
        return findWidget(panel, [&](GtkWidget* widget) {
            const char* shown = GTK_IS_LABEL(widget) ? gtk_label_get_text(GTK_LABEL(widget)) : nullptr;
            return shown && text == shown;
        });
    }
    static bool pillHidden(const MeetingCompanions& companions) {
        return !companions.pill().panel() || !gtk_widget_get_visible(companions.pill().panel());
    }
    void click(const MeetingCompanions& companions, const std::string& label) {
        GtkWidget* shown = onPill(companions, label);
        GtkWidget* button = shown ? gtk_widget_get_ancestor(shown, GTK_TYPE_BUTTON) : nullptr;
        ASSERT_TRUE(button) << label;
        gtk_button_clicked(GTK_BUTTON(button));
    }

    static inline testing::PrivateXServer* display = nullptr;
    static inline bool initialised = false;
};

TEST_F(MeetingCompanionsTest, ZoomIsOfferedRecordingShowsPillAndTrayItemStoppingShowsReadyToReview) {
    testing::X11TestWindows windows;
    int activations = 0;
    MeetingCompanions companions(engine(), [&] { ++activations; }, X11ActiveWindowSource::connect());

    windows.activate("zoom", "zoom", "Zoom Meeting");
    ASSERT_TRUE(waitFor([&] { return onPill(companions, "Zoom detected"); }));
    EXPECT_TRUE(onPill(companions, "Capture this meeting?"));
    EXPECT_FALSE(onPill(companions, "Connect Zoom")) << "no relay endpoint in this build";
    int x = 0, y = 0;
    gtk_window_get_position(GTK_WINDOW(companions.pill().panel()), &x, &y);
    EXPECT_EQ(std::pair(x, y), std::pair(1280 - 360 - 24, 22));
    click(companions, "Record");
    EXPECT_TRUE(state().capturePromptID) << "the page opens its capture flow";
    EXPECT_EQ(activations, 1);
    EXPECT_TRUE(pillHidden(companions));

    engine().startCapture(firstDisplay());
    ASSERT_TRUE(waitFor([&] { return onPill(companions, "Recording"); }));
    ASSERT_TRUE(companions.pill().statusItem());
    EXPECT_EQ(app_indicator_get_status(companions.pill().statusItem()), APP_INDICATOR_STATUS_ACTIVE);

    click(companions, "Stop");
    ASSERT_TRUE(waitFor([&] { return onPill(companions, "Ready to review"); }));
    EXPECT_FALSE(companions.pill().statusItem());
    click(companions, "Open");
    EXPECT_EQ(activations, 2);
    EXPECT_TRUE(pillHidden(companions));
}

}  // namespace
}  // namespace quillmer
