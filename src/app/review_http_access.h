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

// The paths that act for the person ("/bridge", "/events") answer only the page this server served:
// cookies do not tell ports apart, so a page from another port of this computer would otherwise
// carry the cookie too. `Sec-Fetch-Site`, when sent, must be "same-origin"; `Origin`, when sent,
// must be "http://" + the request's Host; and a request authorised by the cookie alone must carry
// one of the two.
bool comesFromOwnPage(std::optional<std::string_view> originHeader, std::optional<std::string_view> fetchSiteHeader,
                      std::string_view host, bool authorisedByCookieOnly);

// "application/json", with or without parameters such as a charset.
bool isJSONMediaType(std::optional<std::string_view> contentTypeHeader);

// The largest bridge call body read; anything larger is refused before it is read.
inline constexpr size_t kMaxBridgeBodyBytes = 1 << 20;

inline constexpr const char* kAccessCookieName = "quillmer_token";

// "quillmer_token=T; HttpOnly; SameSite=Strict; Path=/".
std::string accessCookie(std::string_view token);

// The "quillmer-review" URL an HTTP path names: "/quillmer-review/<host>/<path>", the page's
// "/evidence/…" and "/media/…" and, for anything else, the app's own files ("/" is the start page).
// Nothing for paths of the transport itself ("/bridge", "/events").
std::optional<std::string> schemeURLForPath(std::string_view path);

}  // namespace quillmer
