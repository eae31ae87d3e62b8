#pragma once

#include "platform/http_transport.h"

namespace quillmer {

// HttpTransport over libcurl: one easy handle per request, http and https only, no cookie engine,
// no redirects followed, caches told to revalidate, the request's own time-out.
class CurlHttpTransport final : public HttpTransport {
public:
    CurlHttpTransport();
    HttpResponse get(const HttpRequest& request) override;
};

}  // namespace quillmer
