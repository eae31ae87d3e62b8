#include "engine/cloud_sync_connection.h"

#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "platform/linux/curl_http_transport.h"

namespace quillmer {

HttpTransport& cloudTransport() {
    static CurlHttpTransport transport;
    return transport;
}

std::optional<CloudRelayAccess> configuredCloudRelay() {
    const auto configuration = CloudSyncConfiguration::make(
        RelayEnvironment::ofProcess(), [](const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); });
    if (!configuration) return std::nullopt;
    return relayAccess(cloudTransport(), *configuration);
}

std::optional<std::string> configuredRelayOrigin() {
    return resolveEndpoint(RelayEnvironment::ofProcess(), RelayEndpointConfiguration::ofThisBuild());
}

bool cloudSyncDisabledByEnvironment() {
    const char* value = std::getenv("QUILLMER_DISABLE_CLOUD_SYNC");
    return value && std::string_view(value) == "1";
}

}  // namespace quillmer
