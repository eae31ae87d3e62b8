#include "platform/linux/curl_http_transport.h"

#include <curl/curl.h>

#include <memory>
#include <mutex>

namespace quillmer {

namespace {

struct Download {
    std::string body;
    size_t limit = 0;
    bool tooLarge = false;
};

size_t appendBody(char* data, size_t size, size_t count, void* user) {
    auto* download = static_cast<Download*>(user);
    const size_t bytes = size * count;
    if (download->body.size() + bytes > download->limit) {
        download->tooLarge = true;
        return 0;  // ends the transfer
    }
    download->body.append(data, bytes);
    return bytes;
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

HttpResponse CurlHttpTransport::get(const HttpRequest& request) {
    std::unique_ptr<CURL, EasyFree> handle(curl_easy_init());
    if (!handle) throw HttpTransportError("The HTTP request could not be prepared.");
    CURL* easy = handle.get();

    std::unique_ptr<curl_slist, ListFree> headers;
    auto addHeader = [&](const std::string& line) {
        curl_slist* grown = curl_slist_append(headers.get(), line.c_str());
        if (!grown) throw HttpTransportError("The HTTP request could not be prepared.");
        (void)headers.release();
        headers.reset(grown);
    };
    // Always ask the server (and anything in between) for a fresh answer.
    addHeader("Cache-Control: no-cache");
    addHeader("Pragma: no-cache");
    for (const auto& [name, value] : request.headers) addHeader(name + ": " + value);

    Download download;
    download.limit = request.maxResponseBytes;
    char errorText[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(easy, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, static_cast<long>(request.timeout.count() * 1000));
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);  // worker threads: no SIGALRM for name look-ups
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, appendBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &download);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errorText);
    // No CURLOPT_COOKIEFILE/COOKIEJAR: the cookie engine stays off, nothing is kept or sent.

    const CURLcode result = curl_easy_perform(easy);
    if (download.tooLarge) throw HttpTransportError("The HTTP response was larger than allowed.");
    if (result != CURLE_OK)
        throw HttpTransportError(std::string("The HTTP request failed: ") +
                                 (errorText[0] ? errorText : curl_easy_strerror(result)));
    HttpResponse response;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &response.status);
    response.body = std::move(download.body);
    return response;
}

}  // namespace quillmer
