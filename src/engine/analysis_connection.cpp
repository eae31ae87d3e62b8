#include "engine/analysis_connection.h"

#include <variant>

#include "analysis/analysis_route.h"
#include "analysis/gemini_evidence_provider.h"
#include "analysis/gemini_summary_provider.h"
#include "analysis/hosted_providers.h"
#include "cloud/device_credential.h"
#include "platform/linux/curl_http_transport.h"

namespace quillmer {

namespace {

constexpr const char* kProviderName = "gemini";
constexpr const char* kModelName = "gemini-3.6-flash";

// One transport for every provider of the process; it keeps no state between requests.
HttpTransport& sharedTransport() {
    static CurlHttpTransport transport;
    return transport;
}

std::string hostOf(const std::string& url) {
    const auto start = url.find("://");
    const auto from = start == std::string::npos ? 0 : start + 3;
    return url.substr(from, url.find('/', from) - from);
}

AnalysisRouteChoice::Unavailable choiceReason(AnalysisRouteUnavailableReason reason) {
    switch (reason) {
        case AnalysisRouteUnavailableReason::notConnected: return AnalysisRouteChoice::Unavailable::notConnected;
        case AnalysisRouteUnavailableReason::localDevelopmentKeyMissing:
            return AnalysisRouteChoice::Unavailable::localDevelopmentKeyMissing;
        case AnalysisRouteUnavailableReason::relayNotConfigured: break;
    }
    return AnalysisRouteChoice::Unavailable::relayNotConfigured;
}

// The developer's Gemini key, read only when an approved stage is about to send.
std::string geminiKey() {
    const KeyringReadResult key = readDeveloperKey(kGeminiDevelopmentKeyItem);
    if (const auto* failure = std::get_if<KeyringFailure>(&key)) {
        if (failure->status == kKeyringItemNotFound)
            throw unavailableRouteError(AnalysisRouteUnavailableReason::localDevelopmentKeyMissing);
        throw GeminiAnalysisError::keychainFailure(failure->status);
    }
    return std::get<std::string>(key);
}

}  // namespace

AnalysisConnection configuredAnalysisConnection() {
    const RelayEnvironment relay = RelayEnvironment::ofProcess();
    HostedAnalysisEnvironment environment;
    environment.endpoint = resolveEndpoint(relay, RelayEndpointConfiguration::ofThisBuild());
    environment.deviceCredential = [relay] { return deviceCredential(relay); };
    environment.localGeminiPathEnabled = localGeminiRequestedByEnvironment();
    const AnalysisRoute route = selectAnalysisRoute(environment);

    AnalysisConnection connection;
    connection.route.relayEndpoint = environment.endpoint;
    connection.route.geminiHost = hostOf(geminiBaseURLFromEnvironment());
    switch (route.kind) {
        case AnalysisRoute::Kind::hosted:
            connection.route.kind = AnalysisRouteChoice::Kind::hosted;
            connection.makeProvider = [route](const Uuid& meetingID) -> std::shared_ptr<EvidenceAnalysisProvider> {
                return std::make_shared<HostedEvidenceProvider>(
                    kProviderName, kModelName, meetingID,
                    HostedAnalysisClient(route.endpoint, route.credential, sharedTransport()));
            };
            connection.makeSummaryProvider = [route](const Uuid& meetingID) -> std::shared_ptr<MeetingSummaryProvider> {
                return std::make_shared<HostedMeetingSummaryProvider>(
                    kProviderName, kModelName, meetingID,
                    HostedAnalysisClient(route.endpoint, route.credential, sharedTransport()));
            };
            break;
        case AnalysisRoute::Kind::localDevelopmentKey:
            connection.route.kind = AnalysisRouteChoice::Kind::localDevelopmentKey;
            connection.makeProvider = [](const Uuid&) -> std::shared_ptr<EvidenceAnalysisProvider> {
                return std::make_shared<GeminiEvidenceProvider>(kModelName, geminiKey(), kProviderName,
                                                                sharedTransport());
            };
            connection.makeSummaryProvider = [](const Uuid&) -> std::shared_ptr<MeetingSummaryProvider> {
                return std::make_shared<GeminiKeychainSummaryProvider>(kProviderName, kModelName, geminiKey(),
                                                                       sharedTransport());
            };
            break;
        case AnalysisRoute::Kind::unavailable:
            connection.route.kind = AnalysisRouteChoice::Kind::unavailable;
            connection.route.reason = choiceReason(route.reason);
            break;
    }
    return connection;
}

}  // namespace quillmer
