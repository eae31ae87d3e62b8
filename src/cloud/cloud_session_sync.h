#pragma once

// Cloud meetings: sessions the relay holds for the connected Zoom account, imported into the local
// Sessions and Exports roots exactly as a local capture would have left them, then deleted on the
// relay.
//
//     if (auto configuration = CloudSyncConfiguration::make(RelayEnvironment::ofProcess(), log)) {
//         CloudSessionSync sync(sessionsRoot, exportsRoot, relayFetcher(http, *configuration), …);
//         const int imported = sync.sync(stop, progress);
//     }
//
// Each session is assembled in hidden "<ID>.<random>.syncing" staging folders and renamed into place
// only when every artifact has arrived and passed its checks, so an interrupted download never
// leaves half a meeting in the library. Blocks on the network: call off the main thread.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>

#include "cloud/process_credential_cache.h"
#include "cloud/relay_endpoint.h"
#include "platform/http_transport.h"

namespace quillmer {

// Written into each imported session folder (the relay's id of the meeting), so deleting the
// meeting here deletes it on the relay too, and only meetings that came from there.
inline constexpr const char* kCloudOriginFileName = ".cloud-origin";

// The most bytes one artifact may have.
inline constexpr size_t kCloudArtifactByteLimit = 50'000'000;

struct CloudSyncConfiguration {
    std::string endpoint;  // the relay origin
    std::string token;     // the device credential

    // Nothing when Zoom is not connected (silently) or no relay is configured (`log` is told why).
    static std::optional<CloudSyncConfiguration> make(const RelayEnvironment& environment,
                                                      const std::function<void(const std::string&)>& log,
                                                      ProcessCredentialCache& cache = ProcessCredentialCache::shared());
};

// The relay's side of a sync: `fetch` a relay path's bytes, `remove` a session (true when the relay
// deleted something). Both throw CloudSessionSyncError or CancellationError.
struct CloudRelayAccess {
    std::function<std::string(const std::string& cloudID, const std::string& artifact, std::stop_token)> fetchFile;
    std::function<std::string(std::stop_token)> fetchList;
    std::function<bool(const std::string& sessionID, std::stop_token)> remove;
};

// The default access over HTTP with the configuration's origin and credential.
CloudRelayAccess relayAccess(HttpTransport& http, CloudSyncConfiguration configuration);

// Whether `bytes` are the artifact declared with `byteCount` and `sha256` (hex in either case).
bool matchesDeclaredArtifact(const std::string& bytes, int64_t byteCount, const std::string& sha256);

class CloudSessionSync {
public:
    CloudSessionSync(std::filesystem::path sessionsRoot, std::filesystem::path exportsRoot, CloudRelayAccess relay);

    // Imports what is new, in list order, and returns how many sessions were imported; sessions
    // still running (no `stoppedAt`) wait for a later round, and one already here is deleted on the
    // relay again (its earlier delete may have been lost). Staging folders a failed round left
    // behind are removed first. `progress` hears one line per step. Throws CloudSessionSyncError
    // (sessions already moved into place stay), FileSystemError or CancellationError.
    int sync(std::stop_token stop = {}, const std::function<void(const std::string&)>& progress = {});

private:
    std::filesystem::path sessionsRoot_;
    std::filesystem::path exportsRoot_;
    CloudRelayAccess relay_;
};

}  // namespace quillmer
