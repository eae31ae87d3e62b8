#include "cloud/zoom_connection.h"

#include <openssl/rand.h>

#include <array>
#include <cctype>

#include "cloud/device_credential.h"
#include "cloud/relay_routes.h"
#include "core/ascii_case.h"
#include "core/base64.h"
#include "core/json.h"
#include "core/percent_encoding.h"

namespace quillmer {

namespace {

const char* messageOf(ZoomCloudConnectionErrorCase kind) {
    switch (kind) {
        case ZoomCloudConnectionErrorCase::browserUnavailable: return "Quillmer could not open Zoom sign-in.";
        case ZoomCloudConnectionErrorCase::invalidCallback: return "Zoom returned an invalid connection response.";
        case ZoomCloudConnectionErrorCase::exchangeFailed: return "Quillmer could not finish connecting to Zoom.";
        case ZoomCloudConnectionErrorCase::unsolicitedCallback:
            return "Quillmer ignored a Zoom connection link because you did not start connecting Zoom here. Nothing "
                   "was sent.";
        case ZoomCloudConnectionErrorCase::relayNotConfigured:
            return "This build of Quillmer has no Quillmer relay host configured, so connected Zoom capture is "
                   "unavailable.";
    }
    return "";
}

template <size_t N>
std::array<unsigned char, N> secureRandomBytes() {
    std::array<unsigned char, N> bytes{};
    if (RAND_bytes(bytes.data(), static_cast<int>(N)) != 1) throw Error("Quillmer could not make a random value.");
    return bytes;
}

constexpr const char* kDeviceTagKey = "ai.quillmer.deviceTag";

bool isDeviceTag(const std::string& tag) {
    if (tag.size() != 4) return false;
    for (const unsigned char c : tag)
        if (!std::isxdigit(c)) return false;
    return true;
}

ZoomCloudConnectionError failure(ZoomCloudConnectionErrorCase kind) { return ZoomCloudConnectionError::make(kind); }

}  // namespace

ZoomCloudConnectionError ZoomCloudConnectionError::make(ZoomCloudConnectionErrorCase kind) {
    return {kind, messageOf(kind)};
}

ZoomConnectStateStore::ZoomConnectStateStore(Clock now, std::chrono::seconds lifetime)
    : now_(std::move(now)), lifetime_(lifetime) {}

std::string ZoomConnectStateStore::issue() {
    auto state = makeConnectState();
    std::lock_guard guard(lock_);
    pending_ = std::make_pair(state, now_() + lifetime_);
    return state;
}

bool ZoomConnectStateStore::consume(std::string_view state) {
    std::lock_guard guard(lock_);
    if (!pending_ || pending_->first != state) return false;
    const bool current = pending_->second > now_();
    pending_.reset();
    return current;
}

bool ZoomConnectStateStore::isConnecting() {
    std::lock_guard guard(lock_);
    if (pending_ && pending_->second <= now_()) pending_.reset();
    return pending_.has_value();
}

std::string makeConnectState() {
    const auto bytes = secureRandomBytes<32>();
    std::string state = encodeBase64({reinterpret_cast<const char*>(bytes.data()), bytes.size()});
    for (char& c : state) {
        if (c == '+') c = '-';
        else if (c == '/') c = '_';
    }
    while (!state.empty() && state.back() == '=') state.pop_back();
    return state;
}

std::string zoomDeviceName(UserDefaults& defaults) {
    auto tag = defaults.stringValue(kDeviceTagKey).value_or("");
    if (!isDeviceTag(tag)) {
        static constexpr char kHex[] = "0123456789abcdef";
        const auto bytes = secureRandomBytes<2>();
        tag.clear();
        for (const unsigned char byte : bytes) {
            tag += kHex[byte >> 4];
            tag += kHex[byte & 0xf];
        }
        defaults.setValue(kDeviceTagKey, tag);
    }
    return "Quillmer for Linux (" + tag + ")";
}

std::optional<ZoomCallback> parseZoomCallback(std::string_view url) {
    constexpr std::string_view prefix = "quillmer://zoom-connected";
    if (url.size() < prefix.size()) return std::nullopt;
    if (asciiLowercased(url.substr(0, prefix.size())) != prefix) return std::nullopt;
    auto rest = url.substr(prefix.size());
    if (rest.starts_with("/")) rest.remove_prefix(1);
    if (!rest.starts_with("?")) return std::nullopt;
    rest.remove_prefix(1);
    if (const auto hash = rest.find('#'); hash != std::string_view::npos) rest = rest.substr(0, hash);
    ZoomCallback callback;
    while (!rest.empty()) {
        const auto amp = rest.find('&');
        const auto item = rest.substr(0, amp);
        rest = amp == std::string_view::npos ? std::string_view() : rest.substr(amp + 1);
        const auto equals = item.find('=');
        if (equals == std::string_view::npos) continue;
        std::string raw(item.substr(equals + 1));
        for (char& c : raw)
            if (c == '+') c = ' ';
        const auto value = percentDecoded(raw);
        if (!value) return std::nullopt;
        const auto name = item.substr(0, equals);
        if (name == "state" && callback.state.empty()) callback.state = *value;
        else if (name == "ticket" && callback.ticket.empty()) callback.ticket = *value;
    }
    if (callback.state.empty() || callback.ticket.empty()) return std::nullopt;
    return callback;
}

ZoomConnection::ZoomConnection(Dependencies dependencies, ZoomConnectStateStore& states)
    : dependencies_(std::move(dependencies)), states_(states) {}

std::string ZoomConnection::startURL(std::string_view origin, std::string_view state) {
    // The state is URL-safe base64, so it needs no escaping.
    return relayURL(origin, relay_routes::zoomStart) + "?state=" + std::string(state);
}

std::string ZoomConnection::startConnection() {
    const auto origin = dependencies_.origin();
    if (!origin) throw failure(ZoomCloudConnectionErrorCase::relayNotConfigured);
    // The device tag is made here, on the caller's thread, so the exchange task only reads it.
    zoomDeviceName(dependencies_.defaults);
    const auto url = startURL(*origin, states_.issue());
    if (!dependencies_.openURL(url)) throw failure(ZoomCloudConnectionErrorCase::browserUnavailable);
    return url;
}

void ZoomConnection::handleCallback(std::string_view url, std::stop_token stop) {
    const auto callback = parseZoomCallback(url);
    if (!callback) throw failure(ZoomCloudConnectionErrorCase::invalidCallback);
    if (!states_.consume(callback->state)) throw failure(ZoomCloudConnectionErrorCase::unsolicitedCallback);
    const auto origin = dependencies_.origin();
    if (!origin) throw failure(ZoomCloudConnectionErrorCase::relayNotConfigured);

    const auto& route = relay_routes::exchange;
    HttpRequest request;
    request.method = "POST";
    request.url = relayURL(*origin, route);
    request.headers = relayHeaders(route, "");
    request.body = encodeJSON({{"ticket", callback->ticket}, {"deviceName", zoomDeviceName(dependencies_.defaults)}});
    request.timeout = route.timeout;
    HttpResponse response;
    try {
        response = dependencies_.http.send(request, stop);
    } catch (const HttpTransportError&) {
        throw failure(ZoomCloudConnectionErrorCase::exchangeFailed);
    }
    if (!isRelaySuccess(route, response.status)) throw failure(ZoomCloudConnectionErrorCase::exchangeFailed);
    std::string token;
    try {
        const Json body = parseJSON(response.body);
        JsonObjectReader reader(body, "ExchangeResponse");
        token = reader.required<std::string>("token");
        reader.required<std::string>("expiresAt");
    } catch (const Error&) {
        throw failure(ZoomCloudConnectionErrorCase::invalidCallback);
    }
    storeDeviceCredential(token, dependencies_.credentials);
}

}  // namespace quillmer
