#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/access_token.h"

namespace quillmer {

// The rules `quillmer serve` applies to every request before anything else.

// The Host header must name this server by loopback address or "localhost", with its port, so a
// page on another name that resolves to 127.0.0.1 (DNS rebinding) is refused.
bool isAllowedHost(std::optional<std::string_view> hostHeader, unsigned port);

// "Authorization: Bearer T" or the cookie set when the page was opened with ?token=T.
bool carriesToken(std::optional<std::string_view> authorizationHeader, std::optional<std::string_view> cookieHeader,
                  std::string_view token);

inline constexpr const char* kAccessCookieName = "quillmer_token";

// "quillmer_token=T; HttpOnly; SameSite=Strict; Path=/".
std::string accessCookie(std::string_view token);

// The "quillmer-review" URL an HTTP path names: "/quillmer-review/<host>/<path>", the page's
// "/evidence/…" and "/media/…" and, for anything else, the app's own files ("/" is the start page).
// Nothing for paths of the transport itself ("/bridge", "/events").
std::optional<std::string> schemeURLForPath(std::string_view path);

}  // namespace quillmer
