#include "app/review_http_access.h"

#include <cctype>

#include "core/access_token.h"
#include "core/error.h"

namespace quillmer {

namespace {

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

bool startsWith(std::string_view text, std::string_view prefix) { return text.substr(0, prefix.size()) == prefix; }

}  // namespace

bool isAllowedHost(std::optional<std::string_view> hostHeader, unsigned port) {
    if (!hostHeader) return false;
    const std::string suffix = ":" + std::to_string(port);
    const std::string_view host = trimmed(*hostHeader);
    return host == "127.0.0.1" + suffix || host == "localhost" + suffix;
}

bool carriesToken(std::optional<std::string_view> authorizationHeader, std::optional<std::string_view> cookieHeader,
                  std::string_view token) {
    if (authorizationHeader) {
        const std::string_view value = trimmed(*authorizationHeader);
        if (startsWith(value, "Bearer ") && tokensMatch(trimmed(value.substr(7)), token)) return true;
    }
    if (cookieHeader) {
        std::string_view cookies = *cookieHeader;
        while (!cookies.empty()) {
            const size_t end = std::min(cookies.find(';'), cookies.size());
            const std::string_view pair = trimmed(cookies.substr(0, end));
            const size_t equals = pair.find('=');
            if (equals != std::string_view::npos && pair.substr(0, equals) == kAccessCookieName &&
                tokensMatch(pair.substr(equals + 1), token))
                return true;
            cookies.remove_prefix(std::min(end + 1, cookies.size()));
        }
    }
    return false;
}

bool comesFromOwnPage(std::optional<std::string_view> originHeader, std::optional<std::string_view> fetchSiteHeader,
                      std::string_view host, bool authorisedByCookieOnly) {
    if (fetchSiteHeader && trimmed(*fetchSiteHeader) != "same-origin") return false;
    if (originHeader) return trimmed(*originHeader) == "http://" + std::string(trimmed(host));
    return !authorisedByCookieOnly || fetchSiteHeader.has_value();
}

bool isJSONMediaType(std::optional<std::string_view> contentTypeHeader) {
    if (!contentTypeHeader) return false;
    const std::string_view type = trimmed(contentTypeHeader->substr(0, contentTypeHeader->find(';')));
    constexpr std::string_view kJSON = "application/json";
    if (type.size() != kJSON.size()) return false;
    for (size_t i = 0; i < type.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(type[i])) != kJSON[i]) return false;
    return true;
}

std::string accessCookie(std::string_view token) {
    return std::string(kAccessCookieName) + "=" + std::string(token) + "; HttpOnly; SameSite=Strict; Path=/";
}

std::optional<std::string> schemeURLForPath(std::string_view path) {
    if (path == "/bridge" || path == "/events") return std::nullopt;
    constexpr std::string_view kSchemePrefix = "/quillmer-review/";
    if (startsWith(path, kSchemePrefix)) return "quillmer-review://" + std::string(path.substr(kSchemePrefix.size()));
    if (startsWith(path, "/evidence/") || startsWith(path, "/media/"))
        return "quillmer-review:/" + std::string(path);
    if (path.empty() || path == "/") return std::string("quillmer-review://app/index.html");
    return "quillmer-review://app" + std::string(path);
}

}  // namespace quillmer
