#pragma once

#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "core/error.h"

namespace quillmer {

struct HttpRequest {
    std::string url;
    std::vector<std::pair<std::string, std::string>> headers;
    std::chrono::seconds timeout{10};
    // A larger body is a failure rather than a memory hazard.
    size_t maxResponseBytes = 1 << 20;
};

struct HttpResponse {
    long status = 0;
    std::string body;
};

// The request never reached an answer (no connection, time-out, body too large, bad address).
class HttpTransportError : public Error {
public:
    using Error::Error;
};

// Plain HTTP for the few places that talk to a server. Stateless: no cookies, no cache, and
// redirects are never followed — a 3xx comes back as the response itself.
// Thread-safe; calls block, so make them off the main thread.
class HttpTransport {
public:
    virtual ~HttpTransport() = default;
    // Throws HttpTransportError when there is no response.
    virtual HttpResponse get(const HttpRequest& request) = 0;
};

}  // namespace quillmer
