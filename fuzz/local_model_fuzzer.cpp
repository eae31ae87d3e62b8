// Any bytes as a local model address and as a chat-completions answer. An accepted address is on
// this computer and reads the same when parsed again; the answer either gives its content text or
// fails with an Error.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "analysis/local_model_chat.h"
#include "analysis/local_model_endpoint.h"

namespace {

using namespace quillmer;

bool onThisComputer(const LocalModelEndpoint& endpoint) {
    if (endpoint.unixSocketPath) return endpoint.baseURL == "http://localhost/v1" && endpoint.unixSocketPath->starts_with('/');
    const std::string_view url = endpoint.baseURL;
    const std::string_view authority = url.substr(url.find("://") + 3, url.find('/', url.find("://") + 3) - url.find("://") - 3);
    const std::string_view host = authority.starts_with('[') ? authority.substr(0, authority.find(']') + 1)
                                                             : authority.substr(0, authority.find(':'));
    if (url.find_first_of("@?# \\") != std::string_view::npos) return false;
    if (host == "[::1]") return true;
    if (host.size() == 9 && (host[0] | 0x20) == 'l') return true;  // "localhost" in any case
    return host.starts_with("127.") && host.find_first_not_of("0123456789.") == std::string_view::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    try {
        const LocalModelEndpoint endpoint = parseLocalModelURL(text);
        if (!onThisComputer(endpoint)) std::abort();
        const std::string again = endpoint.unixSocketPath ? "unix:" + *endpoint.unixSocketPath : endpoint.baseURL;
        if (parseLocalModelURL(again).baseURL != endpoint.baseURL) std::abort();
    } catch (const Error&) {
    }
    try {
        (void)localModelAnswerContent(text);
    } catch (const Error&) {
    }
    return 0;
}
