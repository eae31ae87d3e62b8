#include "engine/analysis_connection.h"

#include <variant>

#include "analysis/analysis_route.h"
#include "analysis/gemini_evidence_provider.h"
#include "analysis/gemini_summary_provider.h"
#include "analysis/hosted_providers.h"
#include "analysis/local_model_evidence_provider.h"
#include "analysis/local_model_settings.h"
#include "analysis/local_model_summary_provider.h"
#include "analysis/transcript_rules_evidence_provider.h"
#include "platform/application_paths.h"
#include "platform/linux/json_file_user_defaults.h"
#include "cloud/device_credential.h"
#include "platform/linux/curl_http_transport.h"

namespace quillmer {

namespace {

constexpr const char* kProviderName = "gemini";
constexpr const char* kModelName = kGeminiAnalysisModel;

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

// Analysis on this computer: the configured model server, or the transcript rules without one.
AnalysisConnection onThisComputer(const LocalModelConfiguration& configured) {
    AnalysisConnection connection;
    connection.route.kind = AnalysisRouteChoice::Kind::onThisComputer;
    const auto* model = std::get_if<LocalModelSettings>(&configured);
    if (!model) {
        if (const auto* problem = std::get_if<std::string>(&configured))
            connection.route.localModelProblem = "The local model in the settings is not used: " + *problem;
        connection.makeProvider = [](const Uuid&) -> std::shared_ptr<EvidenceAnalysisProvider> {
            return std::make_shared<TranscriptRulesEvidenceProvider>();
        };
        return connection;
    }
    connection.route.localModelName = model->model;
    connection.route.localModelHost = model->endpoint.displayHost;
    connection.makeProvider = [settings = *model](const Uuid&) -> std::shared_ptr<EvidenceAnalysisProvider> {
        return std::make_shared<LocalModelEvidenceProvider>(settings.endpoint, settings.model, sharedTransport(),
                                                            LocalModelTimeouts{}, settings.concurrency);
    };
    connection.makeSummaryProvider = [settings = *model](const Uuid&) -> std::shared_ptr<MeetingSummaryProvider> {
        return std::make_shared<LocalModelSummaryProvider>(settings.endpoint, settings.model, sharedTransport());
    };
    return connection;
}

}  // namespace

AnalysisConnection configuredAnalysisConnection() {
    const JsonFileUserDefaults settings(userDefaultsFile());
    return analysisConnectionWithSettings(settings);
}

AnalysisConnection analysisConnectionWithSettings(const UserDefaults& settings) {
    // A model the user set up on this computer comes before the relay (whose credential is then
    // never read); a developer's explicit key comes before both.
    const bool developerKey = localGeminiRequestedByEnvironment();
    const LocalModelConfiguration localModel = readLocalModelSettings(settings);
    if (!developerKey && std::holds_alternative<LocalModelSettings>(localModel)) return onThisComputer(localModel);

    const RelayEnvironment relay = RelayEnvironment::ofProcess();
    HostedAnalysisEnvironment environment;
    environment.endpoint = resolveEndpoint(relay, RelayEndpointConfiguration::ofThisBuild());
    environment.deviceCredential = [relay] { return deviceCredential(relay); };
    environment.localGeminiPathEnabled = developerKey;
    const AnalysisRoute route = selectAnalysisRoute(environment);
    // Without a relay there is nowhere to send anything: analyse on this computer instead.
    if (route.kind == AnalysisRoute::Kind::unavailable && route.reason == AnalysisRouteUnavailableReason::relayNotConfigured)
        return onThisComputer(localModel);

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
