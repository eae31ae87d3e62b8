#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace quillmer {

// The page as the review bridge sees it: where its replies and state pushes go. The desktop view
// evaluates them as window.__quillmerNativeResolve(…) / window.__quillmerNativeState(…); the HTTP
// transport answers the matching POST /bridge and writes to GET /events.
class ReviewPageChannel {
public:
    virtual ~ReviewPageChannel() = default;
    // Compact JSON of {id, ok, value} or {id, ok, error}.
    virtual void deliverReply(const std::string& replyJSON) = 0;
    // Compact JSON of the state snapshot.
    virtual void deliverState(const std::string& snapshotJSON) = 0;
};

// What the bridge asks of the application hosting the page. The HTTP transport has no native
// dialogs: it throws quillmer::Error with a sentence the page shows.
class ReviewHostServices {
public:
    virtual ~ReviewHostServices() = default;
    // Nullopt when the person cancelled the panel.
    virtual std::optional<std::filesystem::path> chooseFileToOpen(const std::string& title,
                                                                  const std::vector<std::string>& extensions) = 0;
    virtual std::optional<std::filesystem::path> chooseFileToSave(const std::string& title,
                                                                  const std::string& suggestedName) = 0;
    // False when the text could not be placed on the clipboard.
    virtual bool copyText(const std::string& text) = 0;
};

}  // namespace quillmer
