#include "app/review_http_server.h"

#include <fcntl.h>
#include <libsoup/soup.h>
#include <unistd.h>

#include <variant>

#include "app/bridge_message.h"
#include "app/review_http_access.h"
#include "core/error.h"
#include "core/json.h"

namespace quillmer {

namespace {

// Files are sent in blocks of this size, one at a time, so memory stays flat whatever their size.
constexpr size_t kBlockSize = 256 * 1024;

std::optional<std::string_view> requestHeader(SoupServerMessage* message, const char* name) {
    const char* value = soup_message_headers_get_one(soup_server_message_get_request_headers(message), name);
    if (!value) return std::nullopt;
    return std::string_view(value);
}

void respond(SoupServerMessage* message, unsigned status, const char* type, const std::string& body) {
    soup_message_headers_replace(soup_server_message_get_response_headers(message), "Cache-Control", "no-store");
    soup_server_message_set_status(message, status, nullptr);
    soup_server_message_set_response(message, type, SOUP_MEMORY_COPY, body.data(), body.size());
}

// The rest of one file range, read block by block as the previous block is written.
struct FileSend {
    int fd = -1;
    uint64_t next = 0;
    uint64_t end = 0;
    ~FileSend() {
        if (fd >= 0) ::close(fd);
    }
};

constexpr const char* kFileSendKey = "quillmer-file-send";

// Appends the next block, or ends the body when the range is done or the file came up short.
void appendNextBlock(SoupServerMessage* message) {
    auto* send = static_cast<FileSend*>(g_object_get_data(G_OBJECT(message), kFileSendKey));
    if (!send) return;
    SoupMessageBody* body = soup_server_message_get_response_body(message);
    if (send->next >= send->end) {
        soup_message_body_complete(body);
        return;
    }
    const size_t length = static_cast<size_t>(std::min<uint64_t>(kBlockSize, send->end - send->next));
    auto* block = static_cast<char*>(g_malloc(length));
    ssize_t count;
    do count = ::pread(send->fd, block, length, static_cast<off_t>(send->next));
    while (count < 0 && errno == EINTR);
    if (count <= 0) {
        // The file shrank while being sent: the client sees a short body and drops the connection.
        g_free(block);
        soup_message_body_complete(body);
        return;
    }
    send->next += static_cast<uint64_t>(count);
    soup_message_body_append(body, SOUP_MEMORY_TAKE, block, static_cast<size_t>(count));
}

constexpr const char* kMissingRendererPage =
    "<!doctype html><meta charset=\"utf-8\"><title>Quillmer</title>"
    "<body style=\"font-family:system-ui,sans-serif;padding:32px\"><h1>Quillmer renderer is missing</h1>"
    "<p>Build the review page with <code>scripts/build-renderer.sh</code> (or <code>cmake --build build</code> "
    "with npm installed), or pass its folder with <code>quillmer serve --renderer DIR</code>.</p></body>";

}  // namespace

ReviewHttpServer::ReviewHttpServer(NativeReviewBridge& bridge, const ReviewRendererScheme& scheme, std::string token,
                                   unsigned port)
    : bridge_(bridge), scheme_(scheme), token_(std::move(token)) {
    server_ = soup_server_new("server-header", "Quillmer", nullptr);
    GError* error = nullptr;
    if (!soup_server_listen_local(server_, port, SOUP_SERVER_LISTEN_IPV4_ONLY, &error)) {
        std::string reason = error ? error->message : "unknown error";
        g_clear_error(&error);
        g_object_unref(server_);
        throw Error("Quillmer could not listen on 127.0.0.1:" + std::to_string(port) + ": " + reason);
    }
    GSList* uris = soup_server_get_uris(server_);
    if (uris) port_ = static_cast<unsigned>(g_uri_get_port(static_cast<GUri*>(uris->data)));
    g_slist_free_full(uris, reinterpret_cast<GDestroyNotify>(g_uri_unref));

    soup_server_add_early_handler(server_, nullptr, &ReviewHttpServer::checkAccess, this, nullptr);
    soup_server_add_handler(server_, nullptr, &ReviewHttpServer::handle, this, nullptr);
    const auto forget = +[](SoupServer*, SoupServerMessage* message, gpointer self) {
        static_cast<ReviewHttpServer*>(self)->forgetMessage(message);
    };
    g_signal_connect(server_, "request-finished", G_CALLBACK(forget), this);
    g_signal_connect(server_, "request-aborted", G_CALLBACK(forget), this);
}

ReviewHttpServer::~ReviewHttpServer() {
    g_signal_handlers_disconnect_by_data(server_, this);
    soup_server_disconnect(server_);
    for (auto& [id, message] : pendingCalls_) g_object_unref(message);
    for (auto& [message, watch] : eventStreams_) {
        g_source_destroy(watch);
        g_source_unref(watch);
    }
    g_object_unref(server_);
}

std::string ReviewHttpServer::pageURL() const {
    return "http://127.0.0.1:" + std::to_string(port_) + "/?token=" + token_;
}

void ReviewHttpServer::forgetMessage(SoupServerMessage* message) {
    if (const auto stream = eventStreams_.find(message); stream != eventStreams_.end()) {
        g_source_destroy(stream->second);
        g_source_unref(stream->second);
        eventStreams_.erase(stream);
    }
    for (auto it = pendingCalls_.begin(); it != pendingCalls_.end();) {
        if (it->second == message) {
            g_object_unref(message);
            it = pendingCalls_.erase(it);
        } else {
            ++it;
        }
    }
}

void ReviewHttpServer::checkAccess(SoupServer*, SoupServerMessage* message, const char* path, GHashTable* query,
                                   void* self) {
    // One request per connection: an idle kept-alive connection that the client closes is never
    // noticed by this libsoup, and each one would hold a descriptor for good.
    soup_message_headers_replace(soup_server_message_get_response_headers(message), "Connection", "close");
    const char* token = query ? static_cast<const char*>(g_hash_table_lookup(query, "token")) : nullptr;
    static_cast<ReviewHttpServer*>(self)->refuseUnlessAllowed(message, path ? path : "/", token ? token : "");
    // A refused request's body is still read off the connection (libsoup answers after it), but
    // dropped as it arrives instead of being kept.
    if (soup_server_message_get_status(message) != 0)
        soup_message_body_set_accumulate(soup_server_message_get_request_body(message), FALSE);
}

// Runs once the headers are in, before any body is kept: a status set here answers the request
// and skips the handler.
void ReviewHttpServer::refuseUnlessAllowed(SoupServerMessage* message, const std::string& path, const std::string& token) {
    const auto host = requestHeader(message, "Host");
    if (!isAllowedHost(host, port_)) return respond(message, SOUP_STATUS_FORBIDDEN, "text/plain", "Forbidden");
    const bool opensPage = path == "/" && !token.empty() && carriesToken("Bearer " + token, std::nullopt, token_);
    const bool bearer = carriesToken(requestHeader(message, "Authorization"), std::nullopt, token_);
    if (!opensPage && !bearer && !carriesToken(std::nullopt, requestHeader(message, "Cookie"), token_))
        return respond(message, SOUP_STATUS_UNAUTHORIZED, "text/plain", "Not authorised");

    const char* method = soup_server_message_get_method(message);
    if (path != "/bridge" && path != "/events") {
        if (method != SOUP_METHOD_GET && method != SOUP_METHOD_HEAD)
            return respond(message, SOUP_STATUS_METHOD_NOT_ALLOWED, "text/plain", "GET only");
        return;
    }
    if (!comesFromOwnPage(requestHeader(message, "Origin"), requestHeader(message, "Sec-Fetch-Site"), *host, !bearer))
        return respond(message, SOUP_STATUS_FORBIDDEN, "text/plain", "Only the Quillmer page may call this");
    if (path == "/events") {
        if (method != SOUP_METHOD_GET) return respond(message, SOUP_STATUS_METHOD_NOT_ALLOWED, "text/plain", "GET only");
        return;
    }
    if (method != SOUP_METHOD_POST) return respond(message, SOUP_STATUS_METHOD_NOT_ALLOWED, "text/plain", "POST only");
    if (!isJSONMediaType(requestHeader(message, "Content-Type")))
        return respond(message, SOUP_STATUS_UNSUPPORTED_MEDIA_TYPE, "text/plain", "Send application/json");
    SoupMessageHeaders* headers = soup_server_message_get_request_headers(message);
    if (soup_message_headers_get_encoding(headers) != SOUP_ENCODING_CONTENT_LENGTH)
        return respond(message, SOUP_STATUS_LENGTH_REQUIRED, "text/plain", "Send a Content-Length");
    if (soup_message_headers_get_content_length(headers) > static_cast<goffset>(kMaxBridgeBodyBytes))
        return respond(message, SOUP_STATUS_REQUEST_ENTITY_TOO_LARGE, "text/plain", "Bridge calls are smaller than this");
}

void ReviewHttpServer::handle(SoupServer*, SoupServerMessage* message, const char* path, GHashTable* query, void* self) {
    const char* token = query ? static_cast<const char*>(g_hash_table_lookup(query, "token")) : nullptr;
    static_cast<ReviewHttpServer*>(self)->handleRequest(message, path ? path : "/", token ? token : "");
}

// Only requests that passed refuseUnlessAllowed() get here.
void ReviewHttpServer::handleRequest(SoupServerMessage* message, const std::string& path, const std::string& token) {
    if (path == "/" && !token.empty() && carriesToken("Bearer " + token, std::nullopt, token_))
        soup_message_headers_append(soup_server_message_get_response_headers(message), "Set-Cookie",
                                    accessCookie(token_).c_str());
    if (path == "/bridge") return handleBridge(message);
    if (path == "/events") return openEventStream(message);
    if (const auto url = schemeURLForPath(path)) return serveFile(message, *url);
    respond(message, SOUP_STATUS_NOT_FOUND, "text/plain", "Not found");
}

void ReviewHttpServer::handleBridge(SoupServerMessage* message) {
    GBytes* bytes = soup_message_body_flatten(soup_server_message_get_request_body(message));
    gsize size = 0;
    const auto* data = static_cast<const char*>(g_bytes_get_data(bytes, &size));
    const auto call = decodeBridgeMessage(std::string_view(data ? data : "", size));
    g_bytes_unref(bytes);
    // The bridge ignores such a message; over HTTP the POST still needs an answer.
    if (!call) return respond(message, SOUP_STATUS_BAD_REQUEST, "text/plain", "Expected {id, method, args}");

    soup_server_message_pause(message);
    pendingCalls_.emplace(call->id, static_cast<SoupServerMessage*>(g_object_ref(message)));
    bridge_.handleCall(*call);
}

void ReviewHttpServer::deliverReply(const std::string& replyJSON) {
    std::string id;
    try {
        const Json reply = parseJSON(replyJSON);
        id = reply.at("id").get<std::string>();
    } catch (const std::exception&) {
        return;
    }
    const auto it = pendingCalls_.find(id);
    if (it == pendingCalls_.end()) return;  // the browser went away
    SoupServerMessage* message = it->second;
    pendingCalls_.erase(it);
    respond(message, SOUP_STATUS_OK, "application/json", replyJSON);
    soup_server_message_unpause(message);
    g_object_unref(message);
}

void ReviewHttpServer::openEventStream(SoupServerMessage* message) {
    SoupMessageHeaders* headers = soup_server_message_get_response_headers(message);
    soup_message_headers_set_encoding(headers, SOUP_ENCODING_CHUNKED);
    soup_message_headers_replace(headers, "Content-Type", "text/event-stream");
    soup_message_headers_replace(headers, "Cache-Control", "no-store");
    soup_server_message_set_status(message, SOUP_STATUS_OK, nullptr);
    SoupMessageBody* body = soup_server_message_get_response_body(message);
    soup_message_body_set_accumulate(body, FALSE);
    const std::string first = "data: " + encodeCompactJSON(bridge_.stateSnapshot()) + "\n\n";
    soup_message_body_append(body, SOUP_MEMORY_COPY, first.data(), first.size());

    // The browser never sends anything more on a stream, so the socket turning readable means it
    // went away (or misbehaves): end the stream then, rather than on some later snapshot.
    struct Watch {
        ReviewHttpServer* server;
        SoupServerMessage* message;
    };
    GSource* source = g_socket_create_source(soup_server_message_get_socket(message),
                                             static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR), nullptr);
    const auto closed = +[](GSocket*, GIOCondition, gpointer data) -> gboolean {
        const auto* watch = static_cast<Watch*>(data);
        watch->server->endEventStream(watch->message);
        return G_SOURCE_REMOVE;
    };
    g_source_set_callback(source, G_SOURCE_FUNC(+closed), new Watch{this, message},
                          [](gpointer data) { delete static_cast<Watch*>(data); });
    g_source_attach(source, g_main_context_get_thread_default());
    eventStreams_.emplace(message, source);
}

void ReviewHttpServer::endEventStream(SoupServerMessage* message) {
    const auto it = eventStreams_.find(message);
    if (it == eventStreams_.end()) return;
    g_source_destroy(it->second);
    g_source_unref(it->second);
    eventStreams_.erase(it);
    soup_message_body_complete(soup_server_message_get_response_body(message));
    soup_server_message_unpause(message);
}

void ReviewHttpServer::deliverState(const std::string& snapshotJSON) {
    const std::string event = "data: " + snapshotJSON + "\n\n";
    for (const auto& [message, watch] : eventStreams_) {
        soup_message_body_append(soup_server_message_get_response_body(message), SOUP_MEMORY_COPY, event.data(),
                                 event.size());
        // The stream pauses itself whenever it has written everything it had.
        soup_server_message_unpause(message);
    }
}

void ReviewHttpServer::serveFile(SoupServerMessage* message, const std::string& url) {
    if (url == "quillmer-review://app/index.html" && !scheme_.rendererDirectory())
        return respond(message, SOUP_STATUS_OK, "text/html; charset=utf-8", kMissingRendererPage);
    const auto answer = scheme_.respond(url, requestHeader(message, "Range"));
    const auto* response = std::get_if<SchemeResponse>(&answer);
    if (!response) return respond(message, SOUP_STATUS_NOT_FOUND, "text/plain", "Not found");
    const int fd = ::open(response->file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return respond(message, SOUP_STATUS_FORBIDDEN, "text/plain", "Cannot open the file");

    SoupMessageHeaders* headers = soup_server_message_get_response_headers(message);
    for (const auto& [name, value] : response->headers)
        if (name != "Content-Length") soup_message_headers_replace(headers, name.c_str(), value.c_str());
    soup_message_headers_replace(headers, "Cache-Control", "no-store");
    soup_message_headers_set_content_length(headers, static_cast<goffset>(response->range.length()));
    soup_server_message_set_status(message, static_cast<unsigned>(response->status), nullptr);
    if (soup_server_message_get_method(message) == SOUP_METHOD_HEAD) {
        ::close(fd);
        return;
    }
    SoupMessageBody* body = soup_server_message_get_response_body(message);
    soup_message_body_set_accumulate(body, FALSE);
    auto* send = new FileSend{fd, response->range.start, response->range.end};
    g_object_set_data_full(G_OBJECT(message), kFileSendKey, send, [](gpointer data) { delete static_cast<FileSend*>(data); });
    g_signal_connect(message, "wrote-chunk", G_CALLBACK(+[](SoupServerMessage* m, gpointer) { appendNextBlock(m); }), nullptr);
    appendNextBlock(message);
}

}  // namespace quillmer
