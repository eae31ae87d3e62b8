#include "app/browser_host_services.h"

#include "core/error.h"

namespace quillmer {

std::optional<std::filesystem::path> BrowserHostServices::chooseFileToOpen(const std::string&,
                                                                           const std::vector<std::string>&) {
    throw Error("Quillmer is running in a browser here, so it cannot show a file picker. Call this with the "
                "file's path on the computer running Quillmer, or use the Quillmer app.");
}

std::optional<std::filesystem::path> BrowserHostServices::chooseFileToSave(const std::string&, const std::string&) {
    throw Error("Quillmer is running in a browser here, so it cannot show a save panel. Call this with the "
                "path to write on the computer running Quillmer, or use the Quillmer app.");
}

bool BrowserHostServices::copyText(const std::string&) { return false; }

}  // namespace quillmer
