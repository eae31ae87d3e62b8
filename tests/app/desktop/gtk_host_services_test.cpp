#include "app/desktop/gtk_host_services.h"

#include <gtk/gtk.h>
#include <gtest/gtest.h>

#include <functional>

#include "support/private_x_server.h"
#include "support/temporary_folder.h"

namespace quillmer {
namespace {

TEST(ExtensionPattern, MatchesTheExtensionInAnyCase) {
    EXPECT_EQ(caseInsensitiveExtensionPattern("mp4"), "*.[mM][pP]4");
    EXPECT_EQ(caseInsensitiveExtensionPattern("json"), "*.[jJ][sS][oO][nN]");
    EXPECT_EQ(caseInsensitiveExtensionPattern("a*b"), "*.[aA][*][bB]") << "glob characters are literal";
}

// Selects `file`, and accepts once the chooser shows it as selected; false until then.
bool selectAndAccept(GtkFileChooserDialog* dialog, const std::filesystem::path& file) {
    GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog);
    gchar* selected = gtk_file_chooser_get_filename(chooser);
    const bool ready = selected && file == selected;
    g_free(selected);
    if (!ready) {
        gtk_file_chooser_set_filename(chooser, file.c_str());
        return false;
    }
    gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_ACCEPT);
    return true;
}

// GTK in a private X server (one per test program: GTK keeps its first display), with portals
// turned off, so the dialogs are GTK's own.
class GtkHostServicesTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (testing::PrivateXServer::unavailableReason()) return;
        display = new testing::PrivateXServer();
        noPortal = new testing::ScopedEnvironment("GTK_USE_PORTAL", std::string("0"));
        // The file chooser remembers its settings; keep them in memory, away from any user's dconf.
        memorySettings = new testing::ScopedEnvironment("GSETTINGS_BACKEND", std::string("memory"));
        initialised = gtk_init_check(nullptr, nullptr);
    }
    void SetUp() override {
        if (auto reason = testing::PrivateXServer::unavailableReason()) GTEST_SKIP() << *reason;
        ASSERT_TRUE(initialised);
        window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    }
    void TearDown() override {
        if (window) gtk_widget_destroy(window);
    }

    // Works the next file chooser that appears, from inside its modal loop, on every turn until
    // `answer` says it is done (the chooser loads folders in the background).
    void whenAChooserAppears(std::function<bool(GtkFileChooserDialog*)> answer) {
        pendingAnswer = std::move(answer);
        g_timeout_add(
            20,
            [](gpointer self) -> gboolean {
                auto* test = static_cast<GtkHostServicesTest*>(self);
                GList* windows = gtk_window_list_toplevels();
                GtkFileChooserDialog* chooser = nullptr;
                for (GList* item = windows; item; item = item->next)
                    if (GTK_IS_FILE_CHOOSER_DIALOG(item->data) && gtk_widget_get_visible(GTK_WIDGET(item->data)))
                        chooser = GTK_FILE_CHOOSER_DIALOG(item->data);
                g_list_free(windows);
                return chooser && test->pendingAnswer(chooser) ? G_SOURCE_REMOVE : G_SOURCE_CONTINUE;
            },
            this);
    }

    // Kept for the whole program: GTK cannot let go of its display.
    static inline testing::PrivateXServer* display = nullptr;
    static inline testing::ScopedEnvironment* noPortal = nullptr;
    static inline testing::ScopedEnvironment* memorySettings = nullptr;
    static inline bool initialised = false;
    GtkWidget* window = nullptr;
    std::function<bool(GtkFileChooserDialog*)> pendingAnswer;
};

TEST_F(GtkHostServicesTest, OpenAndSaveDialogsHaveTheirTitleFilterAndNameAndReturnTheChoice) {
    testing::TemporaryFolder folder;
    testing::writeTestFile(folder / "meeting.MOV", "x");
    GtkHostServices host(GTK_WINDOW(window));

    std::string title, filterName;
    whenAChooserAppears([&](GtkFileChooserDialog* chooser) {
        title = gtk_window_get_title(GTK_WINDOW(chooser));
        if (GtkFileFilter* filter = gtk_file_chooser_get_filter(GTK_FILE_CHOOSER(chooser)))
            filterName = gtk_file_filter_get_name(filter);
        return selectAndAccept(chooser, folder / "meeting.MOV");
    });
    EXPECT_EQ(host.chooseFileToOpen("Import a meeting recording", {"mp4", "mov"}), folder / "meeting.MOV");
    EXPECT_EQ(title, "Import a meeting recording");
    EXPECT_EQ(filterName, ".mp4, .mov");

    whenAChooserAppears([](GtkFileChooserDialog* chooser) {
        gtk_dialog_response(GTK_DIALOG(chooser), GTK_RESPONSE_CANCEL);
        return true;
    });
    EXPECT_EQ(host.chooseFileToOpen("Open Quillmer evidence brief", {}), std::nullopt) << "cancelled";

    std::string suggested;
    whenAChooserAppears([&](GtkFileChooserDialog* chooser) {
        title = gtk_window_get_title(GTK_WINDOW(chooser));
        gchar* name = gtk_file_chooser_get_current_name(GTK_FILE_CHOOSER(chooser));
        suggested = name ? name : "";
        g_free(name);
        return selectAndAccept(chooser, folder / suggested);
    });
    const auto chosen = host.chooseFileToSave("Export Quillmer diagnostics", "quillmer-diagnostics-2026-05-04.json");
    EXPECT_EQ(title, "Export Quillmer diagnostics");
    EXPECT_EQ(suggested, "quillmer-diagnostics-2026-05-04.json");
    EXPECT_EQ(chosen, folder / "quillmer-diagnostics-2026-05-04.json");
}

TEST_F(GtkHostServicesTest, CopiesTextToTheClipboard) {
    GtkHostServices host(GTK_WINDOW(window));
    ASSERT_TRUE(host.copyText("Implement the brief at /tmp/ä b.md"));
    gchar* text = gtk_clipboard_wait_for_text(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD));
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "Implement the brief at /tmp/ä b.md");
    g_free(text);
    EXPECT_FALSE(host.copyText("\xff\xfe not text"));
}

}  // namespace
}  // namespace quillmer
