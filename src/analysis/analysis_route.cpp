#include "analysis/analysis_route.h"

#include <cstdlib>
#include <cstring>

namespace quillmer {

std::string_view analysisRouteUnavailableReasonText(AnalysisRouteUnavailableReason reason) {
    switch (reason) {
        case AnalysisRouteUnavailableReason::notConnected:
            return "notConnected";
        case AnalysisRouteUnavailableReason::localDevelopmentKeyMissing:
            return "localDevelopmentKeyMissing";
        case AnalysisRouteUnavailableReason::relayNotConfigured:
            break;
    }
    return "relayNotConfigured";
}

HostedAnalysisError unavailableRouteError(AnalysisRouteUnavailableReason reason) {
    switch (reason) {
        case AnalysisRouteUnavailableReason::notConnected:
            return HostedAnalysisError::of(HostedAnalysisError::Case::notConnected);
        case AnalysisRouteUnavailableReason::localDevelopmentKeyMissing:
            return HostedAnalysisError::of(HostedAnalysisError::Case::localDevelopmentKeyMissing);
        case AnalysisRouteUnavailableReason::relayNotConfigured:
            break;
    }
    return HostedAnalysisError::of(HostedAnalysisError::Case::relayNotConfigured);
}

AnalysisRoute selectAnalysisRoute(const HostedAnalysisEnvironment& environment) {
    AnalysisRoute route;
    if (environment.localGeminiPathEnabled) {
        route.kind = AnalysisRoute::Kind::localDevelopmentKey;
        return route;
    }
    if (!environment.endpoint) return route;  // unavailable: relayNotConfigured
    std::optional<std::string> credential = environment.deviceCredential ? environment.deviceCredential() : std::nullopt;
    if (!credential) {
        route.reason = AnalysisRouteUnavailableReason::notConnected;
        return route;
    }
    route.kind = AnalysisRoute::Kind::hosted;
    route.endpoint = *environment.endpoint;
    route.credential = std::move(*credential);
    return route;
}

bool localGeminiRequestedByEnvironment() {
    const char* value = std::getenv("QUILLMER_LOCAL_GEMINI");
    return value && std::strcmp(value, "1") == 0;
}

}  // namespace quillmer
