#pragma once

// Connecting Zoom: a browser round trip that ends with a relay device credential in the keyring.
//
//     ZoomConnection connection({http, defaults, openURL, origin});
//     connection.startConnection();              // opens <origin>/auth/zoom/start?state=…
//     …                                          // the browser comes back to quillmer://zoom-connected
//     connection.handleCallback(url, stop);      // exchanges the ticket, stores the credential
//
// Only a callback carrying the state this process issued in the last ten minutes is exchanged, and
// only once, so a link from anywhere else sends nothing.

#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>

#include "cloud/process_credential_cache.h"
#include "core/error.h"
#include "platform/http_transport.h"
#include "platform/user_defaults.h"

namespace quillmer {

enum class ZoomCloudConnectionErrorCase {
    browserUnavailable,
    invalidCallback,
    exchangeFailed,
    unsolicitedCallback,
    relayNotConfigured,
};

class ZoomCloudConnectionError : public FamilyError<ZoomCloudConnectionErrorCase> {
public:
    static ZoomCloudConnectionError make(ZoomCloudConnectionErrorCase kind);

private:
    using FamilyError::FamilyError;
};

// The one pending connection of the process; every access holds the lock, since the start (main
// thread) and the callback (an exchange task) meet here.
class ZoomConnectStateStore {
public:
    using Clock = std::function<std::chrono::system_clock::time_point()>;
    explicit ZoomConnectStateStore(Clock now = [] { return std::chrono::system_clock::now(); },
                                   std::chrono::seconds lifetime = std::chrono::seconds(600));

    // A new state, replacing any earlier pending one.
    std::string issue();
    // True when `state` is the pending, unexpired one; the pending connection is used up either way
    // when it matched, so a replay is refused.
    bool consume(std::string_view state);
    bool isConnecting();

private:
    Clock now_;
    std::chrono::seconds lifetime_;
    std::mutex lock_;
    std::optional<std::pair<std::string, std::chrono::system_clock::time_point>> pending_;
};

// 32 secure random bytes, URL-safe base64 without padding (43 characters).
std::string makeConnectState();

// "Quillmer for Linux (xxxx)": the tag is four hex digits kept in the user's defaults.
std::string zoomDeviceName(UserDefaults& defaults);

struct ZoomCallback {
    std::string state;
    std::string ticket;
};
// quillmer://zoom-connected?state=…&ticket=… with both items non-empty; anything else is nothing.
std::optional<ZoomCallback> parseZoomCallback(std::string_view url);

class ZoomConnection {
public:
    struct Dependencies {
        HttpTransport& http;
        UserDefaults& defaults;
        std::function<bool(const std::string&)> openURL;  // false when no browser could be started
        std::function<std::optional<std::string>()> origin;  // the relay origin, asked on every use
        ProcessCredentialCache& credentials = ProcessCredentialCache::shared();
    };

    explicit ZoomConnection(Dependencies dependencies, ZoomConnectStateStore& states);

    // Issues a state and opens the sign-in page; returns its address (shown when no browser opens).
    // Throws ZoomCloudConnectionError (relayNotConfigured, browserUnavailable: the state stays).
    std::string startConnection();
    // Blocks on the exchange: call off the main thread. Throws ZoomCloudConnectionError, or
    // CloudSessionSyncError when the credential is refused or cannot be stored.
    void handleCallback(std::string_view url, std::stop_token stop = {});
    bool isConnecting() { return states_.isConnecting(); }

    // The sign-in page for `state`, without opening it.
    static std::string startURL(std::string_view origin, std::string_view state);

private:
    Dependencies dependencies_;
    ZoomConnectStateStore& states_;
};

}  // namespace quillmer
