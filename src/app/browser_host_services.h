#pragma once

#include "app/review_page_channel.h"

namespace quillmer {

// The host behind `quillmer serve`: a browser tab has no native panels and the server no
// clipboard of the person's desktop, so panels fail with a sentence saying what to do instead
// (the bridge takes a file path argument there) and copying reports failure.
class BrowserHostServices final : public ReviewHostServices {
public:
    std::optional<std::filesystem::path> chooseFileToOpen(const std::string& title,
                                                          const std::vector<std::string>& extensions) override;
    std::optional<std::filesystem::path> chooseFileToSave(const std::string& title,
                                                          const std::string& suggestedName) override;
    bool copyText(const std::string& text) override;
};

}  // namespace quillmer
