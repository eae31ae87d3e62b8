#include "app/desktop/quillmer_application.h"

#include <glib-unix.h>
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include "app/desktop/meeting_companions.h"
#include "app/desktop/shared_review_web_view.h"
#include "app/updates/update_checker.h"
#include "platform/application_paths.h"
#include "engine/capture_engine.h"
#include "capture/session_folder.h"
#include "core/version.h"
#include "platform/linux/capture_services.h"
#include "platform/linux/curl_http_transport.h"
#include "platform/linux/gio_trash.h"
#include "platform/linux/gio_url_opener.h"
#include "platform/linux/glib_main_queue.h"
#include "platform/linux/json_file_user_defaults.h"
#include "platform/linux/posix_process_runner.h"
#include "platform/linux/x11_active_window.h"

namespace quillmer {

namespace {

constexpr const char* kApplicationID = "ai.quillmer.Quillmer";
constexpr const char* kWindowTitle = "Quillmer";
constexpr const char* kReviewViewKey = "quillmer-review-view";

// The window's colour runs seamlessly into the title bar, which shows no title and no separator.
constexpr const char* kWindowStyle = R"(
window.quillmer-main, window.quillmer-main headerbar {
  background-color: rgb(92.9%, 94.5%, 96.5%);
  background-image: none;
}
window.quillmer-main headerbar {
  border-bottom-width: 0;
  box-shadow: none;
}
)";

void installWindowStyle() {
    GtkCssProvider* provider = gtk_css_provider_new();
    gtk_css_provider_load_from_data(provider, kWindowStyle, -1, nullptr);
    gtk_style_context_add_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(provider),
                                              GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    g_object_unref(provider);
}

// The window's name for the desktop (task switcher, window list) follows the page's title.
void followPageTitle(GtkWidget* view, GParamSpec*, gpointer window) {
    const char* title = webkit_web_view_get_title(WEBKIT_WEB_VIEW(view));
    gtk_window_set_title(GTK_WINDOW(window), title && *title ? title : kWindowTitle);
}

struct ApplicationState;
GtkWindow* createMainWindow(GtkApplication* application, ApplicationState& state);

// The one engine of the application and the services it runs on, made when the first window opens.
struct ApplicationState {
    GlibMainQueue mainQueue;
    bool styled = false;
    CaptureServices services;
    PosixProcessRunner processes;
    GioTrash trash;
    std::unique_ptr<JsonFileUserDefaults> defaults;
    ZoomConnectStateStore zoomStates;  // one pending Zoom connection, shared by connect and the callback
    std::unique_ptr<CaptureEngine> engine;
    CurlHttpTransport http;
    std::unique_ptr<UpdateChecker> updates;
    // The meeting prompt, recording pill and tray item; made with the first window.
    std::unique_ptr<MeetingCompanions> companions;

    CaptureEngine& ensureEngine() {
        if (!engine) {
            services = makeCaptureServices();
            defaults = std::make_unique<JsonFileUserDefaults>(userDefaultsFile());
            CaptureEngineDependencies dependencies{*services.capture, *services.writers, processes, trash, mainQueue,
                                                   [] { return sessionsRoot(); }, [] { return exportsDirectory(); }};
            dependencies.zoom = std::make_shared<ZoomConnection>(
                ZoomConnection::Dependencies{cloudTransport(), *defaults, openURLWithDefaultApplication,
                                             configuredRelayOrigin},
                zoomStates);
            dependencies.periodicCloudSync = true;
            engine = std::make_unique<CaptureEngine>(std::move(dependencies));
            updates = std::make_unique<UpdateChecker>(UpdateCheckerDependencies{
                *defaults, UpdateFeedConfiguration::fromBuild(), quillmerVersion(), &http, &mainQueue,
                [](const std::string& url) { openURLWithDefaultApplication(url); }});
        }
        return *engine;
    }
};

// Brings the application's main window to the front.
void presentMainWindow() {
    GApplication* application = g_application_get_default();
    if (!application) return;
    if (GList* windows = gtk_application_get_windows(GTK_APPLICATION(application)))
        gtk_window_present(GTK_WINDOW(windows->data));
}

GtkWindow* createMainWindow(GtkApplication* application, ApplicationState& state) {
    GtkWidget* window = gtk_application_window_new(application);
    gtk_style_context_add_class(gtk_widget_get_style_context(window), "quillmer-main");
    gtk_window_set_title(GTK_WINDOW(window), kWindowTitle);
    gtk_window_set_default_size(GTK_WINDOW(window), 1280, 820);

    GtkWidget* titleBar = gtk_header_bar_new();
    gtk_header_bar_set_show_close_button(GTK_HEADER_BAR(titleBar), TRUE);
    gtk_header_bar_set_custom_title(GTK_HEADER_BAR(titleBar), gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 0));
    gtk_window_set_titlebar(GTK_WINDOW(window), titleBar);

    CaptureEngine& engine = state.ensureEngine();
    auto* review = new SharedReviewWebView(GTK_WINDOW(window), rendererDirectory(), engine, *state.defaults, state.mainQueue,
                                           state.updates.get());
    g_object_set_data_full(G_OBJECT(window), kReviewViewKey, review,
                           [](gpointer view) { delete static_cast<SharedReviewWebView*>(view); });
    gtk_container_add(GTK_CONTAINER(window), review->widget());
    g_signal_connect(review->widget(), "notify::title", G_CALLBACK(followPageTitle), window);
    gtk_widget_show_all(window);
    if (!state.companions)
        state.companions = std::make_unique<MeetingCompanions>(engine, presentMainWindow, X11ActiveWindowSource::connect());
    return GTK_WINDOW(window);
}

void activate(GtkApplication* application, gpointer data) {
    auto* state = static_cast<ApplicationState*>(data);
    if (GList* windows = gtk_application_get_windows(application)) {
        gtk_window_present(GTK_WINDOW(windows->data));
        return;
    }
    if (!state->styled) {
        installWindowStyle();
        state->styled = true;
    }
    gtk_window_present(createMainWindow(application, *state));
}

// quillmer: URLs reach the running instance here: GtkApplication hands a second launch's arguments
// (xdg-open through the .desktop file's x-scheme-handler/quillmer) to the first. The Zoom
// connection callback is checked and exchanged by the engine; the window comes forward either way.
void open(GtkApplication* application, GFile** files, gint count, const gchar*, gpointer data) {
    activate(application, data);
    auto* state = static_cast<ApplicationState*>(data);
    for (gint i = 0; i < count; ++i) {
        gchar* uri = g_file_get_uri(files[i]);
        if (uri && g_str_has_prefix(uri, "quillmer:")) state->ensureEngine().handleCloudCallback(uri);
        g_free(uri);
    }
}

// SIGINT and SIGTERM (a logout, a service manager) close the windows as their close buttons do,
// so the application ends normally and a recording still running is finished and kept, with its
// consent record, instead of dying with the process.
gboolean closeWindows(gpointer data) {
    auto* application = static_cast<GtkApplication*>(data);
    while (GList* windows = gtk_application_get_windows(application)) gtk_widget_destroy(GTK_WIDGET(windows->data));
    g_application_quit(G_APPLICATION(application));
    return G_SOURCE_CONTINUE;
}

}  // namespace

int runQuillmerApplication(int argc, char** argv) {
    ApplicationState state;
    GtkApplication* application = gtk_application_new(kApplicationID, G_APPLICATION_HANDLES_OPEN);
    g_signal_connect(application, "activate", G_CALLBACK(activate), &state);
    g_signal_connect(application, "open", G_CALLBACK(open), &state);
    const guint interrupt = g_unix_signal_add(SIGINT, closeWindows, application);
    const guint terminate = g_unix_signal_add(SIGTERM, closeWindows, application);
    const int status = g_application_run(G_APPLICATION(application), argc, argv);
    g_source_remove(interrupt);
    g_source_remove(terminate);
    g_object_unref(application);
    // The engine goes with `state`: a capture still running is finished there.
    return status;
}

}  // namespace quillmer
