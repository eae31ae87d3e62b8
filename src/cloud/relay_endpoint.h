#pragma once

// Which relay this process talks to. Everything that leaves the computer for analysis,
// transcription or cloud meetings goes to the one origin `resolveEndpoint` picks:
//
//     const auto environment = RelayEnvironment::ofProcess();
//     if (auto origin = resolveEndpoint(environment, RelayEndpointConfiguration::ofThisBuild()))
//         …relayURL(*origin, relay_routes::sessions)…   // relay_routes.h
//     else
//         log(configurationProblem(environment));       // and send nothing
//
// Pure functions over plain values; safe from any thread.

#include <optional>
#include <string>
#include <string_view>

namespace quillmer {

// The relay origins compiled into this build (CMake options QUILLMER_RELAY_PRODUCTION_ORIGIN,
// QUILLMER_RELAY_DEVELOPMENT_ORIGIN and QUILLMER_RELAY_DEVELOPMENT_BUILD; all empty or off by default).
struct RelayEndpointConfiguration {
    bool usesDevelopmentDefault = false;  // only development builds; a release never falls back
    std::optional<std::string> production;
    std::optional<std::string> development;

    static RelayEndpointConfiguration ofThisBuild();
};

// The environment variables the relay settings read; absent when unset.
struct RelayEnvironment {
    std::optional<std::string> rtmsURL;    // QUILLMER_RTMS_URL: replaces the build's origin
    std::optional<std::string> rtmsToken;  // QUILLMER_RTMS_TOKEN: supplies the device credential

    static RelayEnvironment ofProcess();
};

// The origin when `text` is a URL with a host whose scheme is https, or http to localhost,
// 127.0.0.1 or [::1] (any port); otherwise nothing. A query or fragment is refused as well, since
// route paths are appended to the origin.
std::optional<std::string> validatedOrigin(std::string_view text);

// A non-blank QUILLMER_RTMS_URL decides alone (an unusable one gives nothing, never a fallback);
// otherwise the build's development origin in a development build, else its production origin.
std::optional<std::string> resolveEndpoint(const RelayEnvironment& environment,
                                           const RelayEndpointConfiguration& configuration);

// Why `resolveEndpoint` gave nothing, as one line for the log.
std::string configurationProblem(const RelayEnvironment& environment);

}  // namespace quillmer
