#include "cloud/relay_routes.h"

#include "core/percent_encoding.h"

namespace quillmer {

namespace {

void appendComponents(std::string& url, std::string_view pieces, bool fromCaller) {
    size_t start = 0;
    while (true) {
        const size_t slash = pieces.find('/', start);
        const std::string_view piece = pieces.substr(start, slash == std::string_view::npos ? slash : slash - start);
        if (fromCaller && (piece.empty() || piece == "." || piece == ".."))
            throw RelayRouteError("A relay path may not contain empty, \".\" or \"..\" components.");
        url += '/';
        url += percentEncodedPath(piece);
        if (slash == std::string_view::npos) return;
        start = slash + 1;
    }
}

}  // namespace

std::string relayURL(std::string_view origin, const RelayRoute& route, std::initializer_list<std::string_view> arguments) {
    std::string url(origin);
    while (!url.empty() && url.back() == '/') url.pop_back();
    auto argument = arguments.begin();
    std::string_view path = route.path;
    while (!path.empty()) {
        const size_t slash = path.find('/');
        const std::string_view piece = path.substr(0, slash);
        if (piece == "{}") {
            if (argument == arguments.end()) throw RelayRouteError("A relay path is missing an argument.");
            appendComponents(url, *argument++, true);
        } else {
            appendComponents(url, piece, false);
        }
        path = slash == std::string_view::npos ? std::string_view() : path.substr(slash + 1);
    }
    if (argument != arguments.end()) throw RelayRouteError("A relay path was given too many arguments.");
    return url;
}

std::vector<std::pair<std::string, std::string>> relayHeaders(const RelayRoute& route, std::string_view credential) {
    std::vector<std::pair<std::string, std::string>> headers;
    if (route.authorized) headers.emplace_back("Authorization", "Bearer " + std::string(credential));
    if (!route.contentType.empty()) headers.emplace_back("Content-Type", route.contentType);
    if (!route.accept.empty()) headers.emplace_back("Accept", route.accept);
    return headers;
}

bool isRelaySuccess(const RelayRoute& route, long status) {
    switch (route.success) {
        case RelaySuccess::any2xx: return status >= 200 && status <= 299;
        case RelaySuccess::exactly200: return status == 200;
        case RelaySuccess::deleted200: return status == 200 || status == 404;
        case RelaySuccess::browserReturn: return false;
    }
    return false;
}

}  // namespace quillmer
