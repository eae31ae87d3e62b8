#pragma once

#include <string>

namespace quillmer {

// Turns a session video's "quillmer-review://media/<bundle>/screen.mp4" URL into the address the page
// should play it from. The desktop view cannot play video from its private scheme, so there the
// answer is the loopback media server's http URL; over `quillmer serve` the page maps scheme URLs
// itself and the URL is handed on as it is.
class MediaURLMapper {
public:
    virtual ~MediaURLMapper() = default;
    virtual std::string pageURL(const std::string& schemeURL) const = 0;
};

class UnchangedMediaURLMapper final : public MediaURLMapper {
public:
    std::string pageURL(const std::string& schemeURL) const override { return schemeURL; }
};

}  // namespace quillmer
