#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/native_review_bridge.h"
#include "app/review_page_channel.h"
#include "app/review_renderer_scheme.h"

typedef struct _SoupServer SoupServer;
typedef struct _SoupServerMessage SoupServerMessage;
typedef struct _GHashTable GHashTable;
typedef struct _GSource GSource;

namespace quillmer {

// `quillmer serve`: the review bridge, the renderer scheme and the session media over HTTP on
// 127.0.0.1, for an ordinary browser. POST /bridge answers {id, method, args} with the reply
// object; GET /events streams state snapshots as server-sent events; every other GET path serves
// what the "quillmer-review" scheme would (see schemeURLForPath), streamed from disk with byte
// ranges. Every request needs the access token and a loopback Host header, the bridge and the
// events also the server's own origin, and bridge bodies are JSON of at most kMaxBridgeBodyBytes;
// all of it is checked before a body is read. Every connection closes after its answer. Runs on the GLib main
// context of the thread that creates it, which must also own the bridge.
class ReviewHttpServer final : public ReviewPageChannel {
public:
    // Listens on 127.0.0.1:`port` (0: a free port). Throws Error when it cannot listen.
    ReviewHttpServer(NativeReviewBridge& bridge, const ReviewRendererScheme& scheme, std::string token, unsigned port);
    ~ReviewHttpServer() override;
    ReviewHttpServer(const ReviewHttpServer&) = delete;
    ReviewHttpServer& operator=(const ReviewHttpServer&) = delete;

    unsigned port() const { return port_; }
    // "http://127.0.0.1:PORT/?token=T", the address to open.
    std::string pageURL() const;

    // ReviewPageChannel: replies answer the POST that carried their id; snapshots go to every
    // open event stream.
    void deliverReply(const std::string& replyJSON) override;
    void deliverState(const std::string& snapshotJSON) override;

private:
    static void checkAccess(SoupServer*, SoupServerMessage* message, const char* path, GHashTable* query, void* self);
    void refuseUnlessAllowed(SoupServerMessage* message, const std::string& path, const std::string& token);
    static void handle(SoupServer*, SoupServerMessage* message, const char* path, GHashTable* query, void* self);
    void handleRequest(SoupServerMessage* message, const std::string& path, const std::string& token);
    void handleBridge(SoupServerMessage* message);
    void openEventStream(SoupServerMessage* message);
    void endEventStream(SoupServerMessage* message);
    void serveFile(SoupServerMessage* message, const std::string& url);
    void serveMissingRenderer(SoupServerMessage* message);
    void forgetMessage(SoupServerMessage* message);

    NativeReviewBridge& bridge_;
    const ReviewRendererScheme& scheme_;
    std::string token_;
    unsigned port_ = 0;
    SoupServer* server_ = nullptr;
    // POSTs waiting for their reply, by message id (ids from different tabs may repeat).
    std::multimap<std::string, SoupServerMessage*> pendingCalls_;
    // Open event streams, each with the watch that notices the browser leaving.
    std::map<SoupServerMessage*, GSource*> eventStreams_;
};

}  // namespace quillmer
