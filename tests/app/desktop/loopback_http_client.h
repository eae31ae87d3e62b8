#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace quillmer::testing {

struct HttpAnswer {
    int status = 0;
    std::map<std::string, std::string> headers;  // names in lower case
    std::string body;                            // empty when only counted
    uint64_t bodyLength = 0;
};

// One HTTP/1.1 request to 127.0.0.1:port over a plain socket ("Connection: close"), blocking.
// With `keepBody` false the body is only counted, so a huge body costs no memory here.
HttpAnswer httpRequest(uint16_t port, const std::string& method, const std::string& path,
                       const std::string& extraHeaders = "", bool keepBody = true);

}  // namespace quillmer::testing
