#pragma once

// The relay's HTTP contract as this program uses it, in one place: every route, its method, its
// headers and time-out. Callers build the URL and the headers here and add only what is theirs
// (the body, "Idempotency-Key", "x-quillmer-audio-filename"):
//
//     HttpRequest request;
//     request.url = relayURL(origin, relay_routes::sessionFile, {cloudID, "frames/0001.png"});
//     request.headers = relayHeaders(relay_routes::sessionFile, credential);
//     request.timeout = relay_routes::sessionFile.timeout;
//
// Failures on the three analysis routes are a non-2xx status with a JSON body of `error`, `code`,
// `usage` and `retryAfterSeconds`; 429 and 5xx may carry "Retry-After" (the hosted analysis
// client decodes them). Pure functions over constants; safe from any thread.

#include <chrono>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/error.h"

namespace quillmer {

enum class RelayMethod { get, post, del, browser };

// Which answers count as success.
enum class RelaySuccess {
    any2xx,        // analysis routes and the exchange
    exactly200,    // the session list and artifact downloads
    deleted200,    // session delete: 200 deleted, 404 already gone (not a failure)
    browserReturn  // answered by opening quillmer://zoom-connected with the state and a ticket
};

struct RelayRoute {
    // "/"-separated pieces, each appended to the origin as a path component; "{}" is a piece the
    // caller supplies (an argument with "/" in it becomes several components).
    std::string_view path;
    RelayMethod method;
    // Sends "Authorization: Bearer <device credential>": every route but the exchange and the
    // page opened in the browser.
    bool authorized;
    std::string_view contentType;  // of the request body; empty when there is none
    std::string_view accept;       // "Accept" header; empty when not sent
    std::chrono::seconds timeout;
    RelaySuccess success;
};

namespace relay_routes {
using namespace std::chrono_literals;
// POST a candidate with its frames → optional `provider`, `model`, `feedback` (or null), `usage`.
inline constexpr RelayRoute evidenceCandidate{"analysis/evidence-candidate", RelayMethod::post, true, "application/json",
                                              "application/json", 45s, RelaySuccess::any2xx};
// POST transcript lines and grounded actions → a `summary` object.
inline constexpr RelayRoute meetingSummary{"analysis/meeting-summary", RelayMethod::post, true, "application/json",
                                           "application/json", 90s, RelaySuccess::any2xx};
// POST one whole audio track → a `segments` array.
inline constexpr RelayRoute transcribe{"analysis/transcribe", RelayMethod::post, true, "audio/mp4", "application/json",
                                       180s, RelaySuccess::any2xx};
// Opened in the browser with the one query item "state".
inline constexpr RelayRoute zoomStart{"auth/zoom/start", RelayMethod::browser, false, "", "", 0s,
                                      RelaySuccess::browserReturn};
// POST `ticket` and `deviceName` → `token`, a credential beginning "qm1_".
inline constexpr RelayRoute exchange{"auth/exchange", RelayMethod::post, false, "application/json", "", 20s,
                                     RelaySuccess::any2xx};
// GET → the session list.
inline constexpr RelayRoute sessions{"sessions", RelayMethod::get, true, "", "application/json", 60s,
                                     RelaySuccess::exactly200};
// GET {cloud session id} {artifact path} → the artifact's bytes.
inline constexpr RelayRoute sessionFile{"sessions/{}/files/{}", RelayMethod::get, true, "", "application/json", 60s,
                                        RelaySuccess::exactly200};
// DELETE {session id}.
inline constexpr RelayRoute deleteSession{"sessions/by-session/{}", RelayMethod::del, true, "", "application/json", 60s,
                                          RelaySuccess::deleted200};
}  // namespace relay_routes

// A route argument that is empty or has an empty, "." or ".." component, or the wrong number of
// arguments: refused before anything is sent.
class RelayRouteError : public Error {
public:
    using Error::Error;
};

// origin + the route's pieces, each percent-encoded as one path component. Throws RelayRouteError.
std::string relayURL(std::string_view origin, const RelayRoute& route,
                     std::initializer_list<std::string_view> arguments = {});

// "Authorization" (when the route is authorized), "Content-Type" and "Accept" as the route says.
std::vector<std::pair<std::string, std::string>> relayHeaders(const RelayRoute& route, std::string_view credential);

// Whether `status` is a success of the route (for delete, 404 too: the session was already gone).
bool isRelaySuccess(const RelayRoute& route, long status);

}  // namespace quillmer
