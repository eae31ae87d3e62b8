#include "platform/linux/curl_http_transport.h"

#include <curl/curl.h>

#include <memory>
#include <mutex>

namespace quillmer {

namespace {

struct Exchange {
    std::string body;
    size_t limit = 0;
    bool tooLarge = false;
    HttpHeaders headers;
    std::stop_token stop;
};

size_t appendBody(char* data, size_t size, size_t count, void* user) {
    auto* exchange = static_cast<Exchange*>(user);
    const size_t bytes = size * count;
    if (exchange->body.size() + bytes > exchange->limit) {
        exchange->tooLarge = true;
        return 0;  // ends the transfer
    }
    exchange->body.append(data, bytes);
    return bytes;
}

size_t appendHeader(char* data, size_t size, size_t count, void* user) {
    auto* exchange = static_cast<Exchange*>(user);
    const std::string_view line(data, size * count);
    // An interim answer (100 Continue) starts a new header block; keep only the final one.
    if (line.starts_with("HTTP/")) exchange->headers.clear();
    const size_t colon = line.find(':');
    if (colon != std::string_view::npos) {
        auto trimmed = [](std::string_view text) {
            const size_t first = text.find_first_not_of(" \t\r\n");
            if (first == std::string_view::npos) return std::string();
            return std::string(text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1));
        };
        exchange->headers.emplace_back(trimmed(line.substr(0, colon)), trimmed(line.substr(colon + 1)));
    }
    return size * count;
}

// Pulls the next piece of a streamed body; a failing source aborts the transfer.
size_t readBody(char* buffer, size_t size, size_t count, void* user) {
    try {
        return static_cast<const HttpBodyStream*>(user)->read(buffer, size * count);
    } catch (...) {
        return CURL_READFUNC_ABORT;
    }
}

int checkStop(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<Exchange*>(user)->stop.stop_requested() ? 1 : 0;  // non-zero aborts
}

HttpTransportError::Kind kindOf(CURLcode code) {
    switch (code) {
        case CURLE_OPERATION_TIMEDOUT:
            return HttpTransportError::Kind::timedOut;
        case CURLE_COULDNT_RESOLVE_HOST:
        case CURLE_COULDNT_RESOLVE_PROXY:
        case CURLE_COULDNT_CONNECT:
        case CURLE_SEND_ERROR:
        case CURLE_RECV_ERROR:
        case CURLE_GOT_NOTHING:
        case CURLE_PARTIAL_FILE:
            return HttpTransportError::Kind::unreachable;
        default:
            return HttpTransportError::Kind::other;
    }
}

struct EasyFree {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct ListFree {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

}  // namespace

CurlHttpTransport::CurlHttpTransport() {
    // Not thread-safe itself, so once per process before any handle exists.
    static std::once_flag initialised;
    std::call_once(initialised, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

HttpResponse CurlHttpTransport::send(const HttpRequest& request, std::stop_token stop) {
    const auto unprepared = [] {
        return HttpTransportError(HttpTransportError::Kind::other, "The HTTP request could not be prepared.");
    };
    std::unique_ptr<CURL, EasyFree> handle(curl_easy_init());
    if (!handle) throw unprepared();
    CURL* easy = handle.get();

    std::unique_ptr<curl_slist, ListFree> headers;
    auto addHeader = [&](const std::string& line) {
        curl_slist* grown = curl_slist_append(headers.get(), line.c_str());
        if (!grown) throw unprepared();
        (void)headers.release();
        headers.reset(grown);
    };
    // Always ask the server (and anything in between) for a fresh answer.
    addHeader("Cache-Control: no-cache");
    addHeader("Pragma: no-cache");
    addHeader("Expect:");  // large bodies go at once instead of waiting for "100 Continue"
    for (const auto& [name, value] : request.headers) addHeader(name + ": " + value);

    Exchange exchange;
    exchange.limit = request.maxResponseBytes;
    exchange.stop = stop;
    char errorText[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(easy, CURLOPT_URL, request.url.c_str());
    if (request.unixSocketPath) curl_easy_setopt(easy, CURLOPT_UNIX_SOCKET_PATH, request.unixSocketPath->c_str());
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
    // A proxy from the environment never carries loopback traffic: plain http is allowed only
    // because it stays on this computer, and a proxy would take the credential off it.
    curl_easy_setopt(easy, CURLOPT_NOPROXY, "localhost,127.0.0.0/8,::1");
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, request.method.c_str());
    if (request.bodyStream) {
        curl_easy_setopt(easy, CURLOPT_POST, 1L);
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.bodyStream->length));
        curl_easy_setopt(easy, CURLOPT_READFUNCTION, readBody);
        curl_easy_setopt(easy, CURLOPT_READDATA, &*request.bodyStream);
    } else if (!request.body.empty()) {
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()));
        curl_easy_setopt(easy, CURLOPT_POSTFIELDS, request.body.data());
    }
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(request.timeout.count()));
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);  // worker threads: no SIGALRM for name look-ups
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, appendBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &exchange);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, appendHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &exchange);
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, checkStop);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &exchange);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errorText);
    // No CURLOPT_COOKIEFILE/COOKIEJAR: the cookie engine stays off, nothing is kept or sent.

    const CURLcode result = curl_easy_perform(easy);
    if (stop.stop_requested()) throw CancellationError();
    if (exchange.tooLarge)
        throw HttpTransportError(HttpTransportError::Kind::responseTooLarge,
                                 "The HTTP response was larger than allowed.");
    if (result != CURLE_OK)
        throw HttpTransportError(kindOf(result), std::string("The HTTP request failed: ") +
                                                     (errorText[0] ? errorText : curl_easy_strerror(result)));
    HttpResponse response;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &response.status);
    response.headers = std::move(exchange.headers);
    response.body = std::move(exchange.body);
    return response;
}

}  // namespace quillmer
