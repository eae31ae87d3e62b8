#pragma once

#include <functional>
#include <optional>
#include <string>

#include "analysis/hosted_analysis_error.h"

namespace quillmer {

// What route selection needs. The relay origin and the device credential come from the relay
// configuration and the keyring; the credential is read only once the relay would be used.
struct HostedAnalysisEnvironment {
    std::optional<std::string> endpoint;
    std::function<std::optional<std::string>()> deviceCredential;
    // Only a developer build sets this (from QUILLMER_LOCAL_GEMINI=1); the application leaves it off.
    bool localGeminiPathEnabled = false;
};

enum class AnalysisRouteUnavailableReason { notConnected, localDevelopmentKeyMissing, relayNotConfigured };

std::string_view analysisRouteUnavailableReasonText(AnalysisRouteUnavailableReason reason);
// The error a caller reports for an unavailable route, without any network traffic.
HostedAnalysisError unavailableRouteError(AnalysisRouteUnavailableReason reason);

struct AnalysisRoute {
    enum class Kind { hosted, unavailable, localDevelopmentKey };
    Kind kind = Kind::unavailable;
    std::string endpoint;    // hosted only
    std::string credential;  // hosted only
    AnalysisRouteUnavailableReason reason = AnalysisRouteUnavailableReason::relayNotConfigured;  // unavailable only

    bool operator==(const AnalysisRoute&) const = default;
};

// Developer key when enabled, else no relay configured, else not connected, else the relay.
AnalysisRoute selectAnalysisRoute(const HostedAnalysisEnvironment& environment);

// True when QUILLMER_LOCAL_GEMINI is exactly "1" in the process environment.
bool localGeminiRequestedByEnvironment();

}  // namespace quillmer
