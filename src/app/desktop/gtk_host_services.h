#pragma once

#include "app/review_page_channel.h"

typedef struct _GtkWindow GtkWindow;

namespace quillmer {

// Native open and save dialogs (GtkFileChooserNative, so portals are used where the desktop has
// them) and the desktop clipboard, for the bridge of the desktop view. Main thread only.
class GtkHostServices final : public ReviewHostServices {
public:
    // `parent` is the window the dialogs belong to; it must outlive this object.
    explicit GtkHostServices(GtkWindow* parent) : parent_(parent) {}

    std::optional<std::filesystem::path> chooseFileToOpen(const std::string& title,
                                                          const std::vector<std::string>& extensions) override;
    std::optional<std::filesystem::path> chooseFileToSave(const std::string& title,
                                                          const std::string& suggestedName) override;
    bool copyText(const std::string& text) override;

private:
    GtkWindow* parent_;
};

// "*.[mM][pP]4": a glob that matches the extension in any letter case.
std::string caseInsensitiveExtensionPattern(const std::string& extension);

}  // namespace quillmer
