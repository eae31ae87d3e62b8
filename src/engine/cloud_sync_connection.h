#pragma once

#include <optional>
#include <string>

#include "cloud/cloud_session_sync.h"
#include "platform/http_transport.h"

namespace quillmer {

// The relay this process syncs cloud meetings with, over the process's HTTP transport: nothing when
// Zoom is not connected or no relay is configured (the latter logged once per call to stderr).
// Reads the keyring: call off the main thread.
std::optional<CloudRelayAccess> configuredCloudRelay();

// The relay origin of this process, whether or not Zoom is connected. Pure; any thread.
std::optional<std::string> configuredRelayOrigin();

// QUILLMER_DISABLE_CLOUD_SYNC=1 turns the periodic sync off.
bool cloudSyncDisabledByEnvironment();

// The transport every cloud call of this process uses.
HttpTransport& cloudTransport();

}  // namespace quillmer
