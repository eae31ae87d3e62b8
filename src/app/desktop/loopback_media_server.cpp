#include "app/desktop/loopback_media_server.h"

#include <fcntl.h>
#include <libsoup/soup.h>
#include <openssl/crypto.h>
#include <openssl/rand.h>
#include <unistd.h>

#include <array>
#include <variant>

#include "app/review_renderer_scheme.h"
#include "core/access_token.h"
#include "core/error.h"

namespace quillmer {

namespace {

constexpr std::string_view kMediaScheme = "quillmer-review://media/";
constexpr std::string_view kMediaPath = "/media/";
constexpr uint64_t kChunkSize = 64 * 1024;

// One response body being written: the next chunk is read only after the previous one went out.
struct BodyStream {
    int descriptor = -1;
    uint64_t offset = 0;
    uint64_t remaining = 0;

    ~BodyStream() {
        if (descriptor >= 0) ::close(descriptor);
    }

    void appendNextChunk(SoupMessageBody* body) {
        if (remaining == 0) {
            soup_message_body_complete(body);
            return;
        }
        const size_t wanted = static_cast<size_t>(std::min(remaining, kChunkSize));
        auto* buffer = static_cast<char*>(g_malloc(wanted));
        const ssize_t got = ::pread(descriptor, buffer, wanted, static_cast<off_t>(offset));
        if (got <= 0) {
            // The file shrank or failed under us: end the body short so the client sees a broken
            // response instead of waiting for bytes that will never come.
            g_free(buffer);
            remaining = 0;
            soup_message_body_complete(body);
            return;
        }
        offset += static_cast<uint64_t>(got);
        remaining -= static_cast<uint64_t>(got);
        soup_message_body_append_take(body, reinterpret_cast<guchar*>(buffer), static_cast<gsize>(got));
        if (remaining == 0) soup_message_body_complete(body);
    }
};

void wroteChunk(SoupServerMessage* message, gpointer data) {
    auto* stream = static_cast<BodyStream*>(data);
    stream->appendNextChunk(soup_server_message_get_response_body(message));
    soup_server_message_unpause(message);
}

void answerStatus(SoupServerMessage* message, guint status) {
    soup_server_message_set_status(message, status, nullptr);
    soup_message_headers_set_content_length(soup_server_message_get_response_headers(message), 0);
}

}  // namespace

LoopbackMediaServer::LoopbackMediaServer(const ReviewRendererScheme& scheme)
    : scheme_(scheme), token_(makeAccessToken()) {
    server_ = soup_server_new("server-header", "Quillmer", nullptr);
    soup_server_add_handler(server_, nullptr, reinterpret_cast<SoupServerCallback>(&handleRequest), this, nullptr);
    GError* error = nullptr;
    if (!soup_server_listen_local(server_, 0, SOUP_SERVER_LISTEN_IPV4_ONLY, &error)) {
        g_clear_error(&error);
        g_object_unref(server_);
        throw Error("Quillmer could not start its video server.");
    }
    GSList* uris = soup_server_get_uris(server_);
    if (uris) port_ = static_cast<uint16_t>(g_uri_get_port(static_cast<GUri*>(uris->data)));
    g_slist_free_full(uris, reinterpret_cast<GDestroyNotify>(g_uri_unref));
}

LoopbackMediaServer::~LoopbackMediaServer() {
    soup_server_disconnect(server_);
    g_object_unref(server_);
}

std::string LoopbackMediaServer::pageURL(const std::string& schemeURL) const {
    if (schemeURL.compare(0, kMediaScheme.size(), kMediaScheme) != 0) return schemeURL;
    return "http://127.0.0.1:" + std::to_string(port_) + std::string(kMediaPath) + token_ + "/" +
           schemeURL.substr(kMediaScheme.size());
}

void LoopbackMediaServer::handleRequest(SoupServer*, SoupServerMessage* message, const char* path, GHashTable*,
                                        void* self) {
    static_cast<const LoopbackMediaServer*>(self)->serve(message, path ? path : "");
}

void LoopbackMediaServer::serve(SoupServerMessage* message, const std::string& path) const {
    // Anything without the token is answered as if it did not exist.
    std::string_view rest(path);
    if (rest.substr(0, kMediaPath.size()) != kMediaPath) return answerStatus(message, SOUP_STATUS_NOT_FOUND);
    rest.remove_prefix(kMediaPath.size());
    const size_t slash = rest.find('/');
    if (slash == std::string_view::npos || !tokensMatch(rest.substr(0, slash), token_))
        return answerStatus(message, SOUP_STATUS_NOT_FOUND);
    rest.remove_prefix(slash + 1);

    const std::string method = soup_server_message_get_method(message);
    const bool headOnly = method == "HEAD";
    if (method != "GET" && !headOnly) return answerStatus(message, SOUP_STATUS_METHOD_NOT_ALLOWED);

    SoupMessageHeaders* requestHeaders = soup_server_message_get_request_headers(message);
    const char* range = soup_message_headers_get_one(requestHeaders, "Range");
    const auto answer = scheme_.respond(std::string(kMediaScheme) + std::string(rest),
                                        range ? std::optional<std::string_view>(range) : std::nullopt);
    if (const auto* failure = std::get_if<SchemeFailure>(&answer)) {
        return answerStatus(message, *failure == SchemeFailure::fileDoesNotExist   ? SOUP_STATUS_NOT_FOUND
                                     : *failure == SchemeFailure::cannotOpenFile ? SOUP_STATUS_FORBIDDEN
                                                                                 : SOUP_STATUS_INTERNAL_SERVER_ERROR);
    }
    const auto& response = std::get<SchemeResponse>(answer);
    auto stream = std::make_unique<BodyStream>();
    stream->descriptor = ::open(response.file.c_str(), O_RDONLY | O_CLOEXEC);
    if (stream->descriptor < 0) return answerStatus(message, SOUP_STATUS_FORBIDDEN);
    stream->offset = response.range.start;
    stream->remaining = headOnly ? 0 : response.range.length();

    SoupMessageHeaders* headers = soup_server_message_get_response_headers(message);
    for (const auto& [name, value] : response.headers)
        if (name != "Content-Length") soup_message_headers_replace(headers, name.c_str(), value.c_str());
    soup_message_headers_set_content_length(headers, static_cast<goffset>(response.range.length()));
    soup_server_message_set_status(message, static_cast<guint>(response.status), nullptr);
    if (headOnly) return;

    SoupMessageBody* body = soup_server_message_get_response_body(message);
    // Written chunks are dropped instead of kept for the whole response.
    soup_message_body_set_accumulate(body, FALSE);
    stream->appendNextChunk(body);
    g_signal_connect_data(message, "wrote-chunk", G_CALLBACK(wroteChunk), stream.release(),
                          [](gpointer data, GClosure*) { delete static_cast<BodyStream*>(data); },
                          GConnectFlags(0));
}

}  // namespace quillmer
