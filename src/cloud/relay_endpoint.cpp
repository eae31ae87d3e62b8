#include "cloud/relay_endpoint.h"

#include <glib.h>

#include <algorithm>
#include <cstdlib>

#include "core/ascii_case.h"
#include "core/utf8.h"

namespace quillmer {

namespace {

std::optional<std::string> variable(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::optional<std::string>(value) : std::nullopt;
}

bool isBlank(const std::optional<std::string>& value) {
    return !value || trimmingWhitespaceAndNewlines(*value).empty();
}

}  // namespace

RelayEnvironment RelayEnvironment::ofProcess() { return {variable("QUILLMER_RTMS_URL"), variable("QUILLMER_RTMS_TOKEN")}; }

std::optional<std::string> validatedOrigin(std::string_view text) {
    const std::string owned(text);
    GUri* uri = g_uri_parse(owned.c_str(), G_URI_FLAGS_NONE, nullptr);
    if (!uri) return std::nullopt;
    const std::string scheme = asciiLowercased(g_uri_get_scheme(uri) ? g_uri_get_scheme(uri) : "");
    std::string host = g_uri_get_host(uri) ? g_uri_get_host(uri) : "";
    const bool extra = g_uri_get_query(uri) || g_uri_get_fragment(uri);
    g_uri_unref(uri);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    host = asciiLowercased(host);
    if (host.empty() || extra) return std::nullopt;
    if (scheme == "https") return owned;
    if (scheme == "http" && (host == "localhost" || host == "127.0.0.1" || host == "::1")) return owned;
    return std::nullopt;
}

std::optional<std::string> resolveEndpoint(const RelayEnvironment& environment,
                                           const RelayEndpointConfiguration& configuration) {
    if (!isBlank(environment.rtmsURL)) return validatedOrigin(trimmingWhitespaceAndNewlines(*environment.rtmsURL));
    return configuration.usesDevelopmentDefault ? configuration.development : configuration.production;
}

std::string configurationProblem(const RelayEnvironment& environment) {
    if (!isBlank(environment.rtmsURL))
        return "QUILLMER_RTMS_URL is not a usable https origin (plain http is accepted only for 127.0.0.1, ::1 or "
               "localhost).";
    return "This build has no production relay host configured, and a release build never falls back to the "
           "development relay.";
}

}  // namespace quillmer
