#include "app/desktop/gtk_host_services.h"

#include <gtk/gtk.h>

#include <cctype>

namespace quillmer {

namespace {

std::optional<std::filesystem::path> runChooser(GtkFileChooserNative* chooser) {
    std::optional<std::filesystem::path> chosen;
    if (gtk_native_dialog_run(GTK_NATIVE_DIALOG(chooser)) == GTK_RESPONSE_ACCEPT) {
        if (gchar* file = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(chooser))) {
            chosen = std::filesystem::path(file);
            g_free(file);
        }
    }
    g_object_unref(chooser);
    return chosen;
}

}  // namespace

std::string caseInsensitiveExtensionPattern(const std::string& extension) {
    std::string pattern = "*.";
    for (unsigned char c : extension) {
        if (std::isalpha(c)) {
            pattern += '[';
            pattern += static_cast<char>(std::tolower(c));
            pattern += static_cast<char>(std::toupper(c));
            pattern += ']';
        } else if (c == '*' || c == '?' || c == '[' || c == ']') {
            pattern += '[';
            pattern += static_cast<char>(c);
            pattern += ']';
        } else {
            pattern += static_cast<char>(c);
        }
    }
    return pattern;
}

std::optional<std::filesystem::path> GtkHostServices::chooseFileToOpen(const std::string& title,
                                                                       const std::vector<std::string>& extensions) {
    GtkFileChooserNative* chooser =
        gtk_file_chooser_native_new(title.c_str(), parent_, GTK_FILE_CHOOSER_ACTION_OPEN, "_Open", "_Cancel");
    gtk_file_chooser_set_select_multiple(GTK_FILE_CHOOSER(chooser), FALSE);
    if (!extensions.empty()) {
        GtkFileFilter* filter = gtk_file_filter_new();
        std::string name;
        for (const auto& extension : extensions) {
            gtk_file_filter_add_pattern(filter, caseInsensitiveExtensionPattern(extension).c_str());
            name += (name.empty() ? "" : ", ") + ("." + extension);
        }
        gtk_file_filter_set_name(filter, name.c_str());
        gtk_file_chooser_add_filter(GTK_FILE_CHOOSER(chooser), filter);
    }
    return runChooser(chooser);
}

std::optional<std::filesystem::path> GtkHostServices::chooseFileToSave(const std::string& title,
                                                                       const std::string& suggestedName) {
    GtkFileChooserNative* chooser =
        gtk_file_chooser_native_new(title.c_str(), parent_, GTK_FILE_CHOOSER_ACTION_SAVE, "_Save", "_Cancel");
    gtk_file_chooser_set_do_overwrite_confirmation(GTK_FILE_CHOOSER(chooser), TRUE);
    gtk_file_chooser_set_current_name(GTK_FILE_CHOOSER(chooser), suggestedName.c_str());
    return runChooser(chooser);
}

bool GtkHostServices::copyText(const std::string& text) {
    if (!g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr)) return false;
    GdkDisplay* display = gdk_display_get_default();
    if (!display) return false;
    GtkClipboard* clipboard = gtk_clipboard_get_for_display(display, GDK_SELECTION_CLIPBOARD);
    if (!clipboard) return false;
    gtk_clipboard_set_text(clipboard, text.data(), static_cast<gint>(text.size()));
    // Keep the text available after Quillmer quits, where a clipboard manager is running.
    gtk_clipboard_set_can_store(clipboard, nullptr, 0);
    return true;
}

}  // namespace quillmer
