#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/error.h"

namespace quillmer {

using HttpHeaders = std::vector<std::pair<std::string, std::string>>;

// A request body pulled piece by piece as it goes out, so a large file is never held in memory.
struct HttpBodyStream {
    int64_t length = 0;  // exactly the bytes `read` will give
    // Fills up to `capacity` bytes and returns how many; 0 only at the end. Throws on failure.
    std::function<size_t(char* buffer, size_t capacity)> read;
};

// `prefix`, the file's bytes, then `suffix`. The file is opened and measured now (FileSystemError
// when it cannot be) and read only while the request is sent; it streams once, so a request
// carrying it is sent once (copies share the position).
HttpBodyStream fileBodyStream(std::string prefix, const std::filesystem::path& file, std::string suffix = {});

struct HttpRequest {
    std::string method = "GET";
    std::string url;
    // Set: the request goes over this Unix socket; the URL still names the host and path.
    std::optional<std::string> unixSocketPath;
    HttpHeaders headers;
    std::string body;  // sent when non-empty
    std::optional<HttpBodyStream> bodyStream;  // sent instead of `body` when set
    std::chrono::milliseconds timeout{10'000};  // the whole exchange, connection to last byte
    // A larger body is a failure rather than a memory hazard.
    size_t maxResponseBytes = 1 << 20;
};

struct HttpResponse {
    long status = 0;
    HttpHeaders headers;  // names as the server wrote them
    std::string body;

    // The first header of that name, compared without regard to case.
    std::optional<std::string> header(std::string_view name) const;
};

// The request never reached an answer. The kind tells a passing network problem (worth another
// attempt) from one that would only repeat.
class HttpTransportError : public Error {
public:
    enum class Kind { timedOut, unreachable, responseTooLarge, other };
    HttpTransportError(Kind kind, const std::string& text) : Error(text), kind_(kind) {}
    Kind kind() const noexcept { return kind_; }

private:
    Kind kind_;
};

// Plain HTTP for the few places that talk to a server. Stateless: no cookies, no cache, and
// redirects are never followed — a 3xx comes back as the response itself.
// Thread-safe; calls block, so make them off the main thread.
class HttpTransport {
public:
    virtual ~HttpTransport() = default;
    // Throws HttpTransportError when there is no response and CancellationError as soon as `stop`
    // is requested.
    virtual HttpResponse send(const HttpRequest& request, std::stop_token stop) = 0;

    HttpResponse get(const HttpRequest& request) {
        HttpRequest copy = request;
        copy.method = "GET";
        return send(copy, {});
    }
};

}  // namespace quillmer
