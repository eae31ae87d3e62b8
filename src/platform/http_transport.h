#pragma once

#include <chrono>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/error.h"

namespace quillmer {

using HttpHeaders = std::vector<std::pair<std::string, std::string>>;

struct HttpRequest {
    std::string method = "GET";
    std::string url;
    HttpHeaders headers;
    std::string body;  // sent when non-empty
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
