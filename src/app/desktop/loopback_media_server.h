#pragma once

#include <cstdint>
#include <string>

#include "app/media_url_mapper.h"

typedef struct _SoupServer SoupServer;
typedef struct _SoupServerMessage SoupServerMessage;
typedef struct _GHashTable GHashTable;

namespace quillmer {

class ReviewRendererScheme;

// Serves session videos to the desktop view, which plays <video> only from http(s): an HTTP server
// on 127.0.0.1 at a port the system picks, answering only paths that carry its random token
// ("/media/<token>/<bundle>/screen.mp4"), resolved and ranged exactly as "quillmer-review://media/…".
// Bodies are streamed from disk a chunk at a time, so memory stays flat whatever the file's size.
// Runs on the main context of the thread that creates it (the thread owning `scheme`).
class LoopbackMediaServer final : public MediaURLMapper {
public:
    // Throws quillmer::Error when no loopback port can be opened.
    explicit LoopbackMediaServer(const ReviewRendererScheme& scheme);
    ~LoopbackMediaServer() override;
    LoopbackMediaServer(const LoopbackMediaServer&) = delete;
    LoopbackMediaServer& operator=(const LoopbackMediaServer&) = delete;

    // "quillmer-review://media/<rest>" → "http://127.0.0.1:<port>/media/<token>/<rest>"; any other
    // URL is returned unchanged.
    std::string pageURL(const std::string& schemeURL) const override;

    uint16_t port() const { return port_; }

private:
    static void handleRequest(SoupServer*, SoupServerMessage*, const char* path, GHashTable*, void* self);
    void serve(SoupServerMessage* message, const std::string& path) const;

    const ReviewRendererScheme& scheme_;
    SoupServer* server_ = nullptr;
    std::string token_;
    uint16_t port_ = 0;
};

}  // namespace quillmer
