#pragma once

#include "platform/http_transport.h"

namespace quillmer {

// HttpTransport over libcurl: one easy handle per request, http and https only, TLS peers always
// verified, no cookie engine, no redirects followed, caches told to revalidate, the request's own
// time-out, and a stop request noticed by the progress callback (within about a second, at once
// while bytes move).
class CurlHttpTransport final : public HttpTransport {
public:
    CurlHttpTransport();
    HttpResponse send(const HttpRequest& request, std::stop_token stop) override;
};

}  // namespace quillmer
