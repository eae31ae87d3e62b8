#include "transcription/remote_transcription_settings.h"

#include <cstdlib>

#include "cloud/device_credential.h"
#include "cloud/relay_endpoint.h"

namespace quillmer {

std::string_view routeText(RemoteTranscriptionRoute route) {
    return route == RemoteTranscriptionRoute::hosted ? "hosted" : "localDevelopment";
}

std::optional<RemoteTranscriptionRoute> parseRoute(std::string_view text) {
    if (text == "hosted") return RemoteTranscriptionRoute::hosted;
    if (text == "localDevelopment") return RemoteTranscriptionRoute::localDevelopment;
    return std::nullopt;
}

std::string_view reasonText(RemoteTranscriptionUnavailableReason reason) {
    switch (reason) {
        case RemoteTranscriptionUnavailableReason::notApproved: return "notApproved";
        case RemoteTranscriptionUnavailableReason::hostedCredentialMissing: return "hostedCredentialMissing";
        case RemoteTranscriptionUnavailableReason::relayNotConfigured: return "relayNotConfigured";
        case RemoteTranscriptionUnavailableReason::localDevelopmentPathDisabled: return "localDevelopmentPathDisabled";
        case RemoteTranscriptionUnavailableReason::localDevelopmentKeyMissing: return "localDevelopmentKeyMissing";
    }
    return "notApproved";
}

RemoteTranscriptionEnvironment RemoteTranscriptionEnvironment::ofProcess() {
    const auto relay = RelayEnvironment::ofProcess();
    RemoteTranscriptionEnvironment environment;
    environment.hostedEndpoint = resolveEndpoint(relay, RelayEndpointConfiguration::ofThisBuild());
    environment.deviceCredential = [relay] { return quillmer::deviceCredential(relay); };
    environment.localDevelopmentKey = []() -> std::optional<std::string> {
        // A missing item or any keyring failure is simply no key.
        auto result = readDeveloperKey(kElevenLabsDevelopmentKeyItem);
        if (auto* key = std::get_if<std::string>(&result); key && !key->empty()) return *key;
        return std::nullopt;
    };
    const char* enabled = std::getenv("QUILLMER_LOCAL_ELEVENLABS");
    environment.localDevelopmentPathEnabled = enabled && std::string_view(enabled) == "1";
    const char* base = std::getenv("QUILLMER_ELEVENLABS_BASE_URL");
    if (base && *base) {
        // An unusable override sends nowhere rather than falling back to the real service.
        environment.elevenLabsBaseURL = validatedOrigin(base).value_or("");
        if (environment.elevenLabsBaseURL.empty()) environment.localDevelopmentPathEnabled = false;
    }
    return environment;
}

std::optional<RemoteTranscriptionRoute> RemoteTranscriptionSettings::approvedRoute() const {
    const auto stored = defaults_.stringValue(kRemoteRouteKey);
    return stored ? parseRoute(*stored) : std::nullopt;
}

std::optional<Timestamp> RemoteTranscriptionSettings::approvedAt() const { return defaults_.dateValue(kRemoteApprovedAtKey); }

void RemoteTranscriptionSettings::approve(RemoteTranscriptionRoute route, Timestamp now) {
    defaults_.setValue(kRemoteRouteKey, std::string(routeText(route)));
    defaults_.setDate(kRemoteApprovedAtKey, now);
}

void RemoteTranscriptionSettings::withdraw() {
    defaults_.removeValue(kRemoteRouteKey);
    defaults_.removeValue(kRemoteApprovedAtKey);
}

RemoteTranscriptionDecision RemoteTranscriptionSettings::decision(
    const RemoteTranscriptionEnvironment& environment) const {
    using Reason = RemoteTranscriptionUnavailableReason;
    const auto localOnly = [](Reason reason) { return RemoteTranscriptionDecision{std::nullopt, reason, {}, {}}; };
    const auto route = approvedRoute();
    if (!route) return localOnly(Reason::notApproved);
    if (*route == RemoteTranscriptionRoute::hosted) {
        if (!environment.hostedEndpoint) return localOnly(Reason::relayNotConfigured);
        auto credential = environment.deviceCredential ? environment.deviceCredential() : std::nullopt;
        if (!credential) return localOnly(Reason::hostedCredentialMissing);
        return {route, Reason::notApproved, *environment.hostedEndpoint, *credential};
    }
    if (!environment.localDevelopmentPathEnabled) return localOnly(Reason::localDevelopmentPathDisabled);
    auto key = environment.localDevelopmentKey ? environment.localDevelopmentKey() : std::nullopt;
    if (!key) return localOnly(Reason::localDevelopmentKeyMissing);
    return {route, Reason::notApproved, environment.elevenLabsBaseURL, *key};
}

bool RemoteTranscriptionSettings::isConfigured(RemoteTranscriptionRoute route,
                                               const RemoteTranscriptionEnvironment& environment) {
    if (route == RemoteTranscriptionRoute::hosted)
        return environment.hostedEndpoint && environment.deviceCredential && environment.deviceCredential();
    return environment.localDevelopmentPathEnabled && environment.localDevelopmentKey &&
           environment.localDevelopmentKey();
}

std::string describeDecision(const RemoteTranscriptionDecision& decision) {
    using Reason = RemoteTranscriptionUnavailableReason;
    if (decision.route) {
        const auto disclosure = RemoteTranscriptionSettings::disclosure(*decision.route, decision.endpoint);
        return "remote: whole audio tracks go to " + disclosure.providerName + " (" +
               disclosure.providerHost + ")";
    }
    switch (decision.reason) {
        case Reason::notApproved: return "on this computer, because remote transcription is not approved";
        case Reason::hostedCredentialMissing:
            return "on this computer, because this computer has no relay credential";
        case Reason::relayNotConfigured:
            return "on this computer, because no relay is configured";
        case Reason::localDevelopmentPathDisabled:
            return "on this computer, because the ElevenLabs developer route needs QUILLMER_LOCAL_ELEVENLABS=1";
        case Reason::localDevelopmentKeyMissing:
            return "on this computer, because no ElevenLabs developer key is in the keyring";
    }
    return "on this computer";
}

std::optional<std::string> urlHost(std::string_view url) {
    const size_t scheme = url.find("://");
    if (scheme == std::string_view::npos) return std::nullopt;
    std::string_view rest = url.substr(scheme + 3);
    rest = rest.substr(0, rest.find_first_of("/?#"));
    if (const size_t at = rest.rfind('@'); at != std::string_view::npos) rest = rest.substr(at + 1);
    if (rest.starts_with('[')) {
        const size_t close = rest.find(']');
        if (close == std::string_view::npos) return std::nullopt;
        rest = rest.substr(1, close - 1);
    } else {
        rest = rest.substr(0, rest.find(':'));
    }
    if (rest.empty()) return std::nullopt;
    return std::string(rest);
}

RemoteTranscriptionDisclosure RemoteTranscriptionSettings::disclosure(RemoteTranscriptionRoute route,
                                                                      const std::optional<std::string>& endpoint) {
    if (route == RemoteTranscriptionRoute::hosted) {
        std::string host = "no Quillmer relay host is configured in this build";
        if (endpoint) host = urlHost(*endpoint).value_or(*endpoint);
        return {route, "Quillmer hosted transcription", host, "scribe-v2", true, false,
                "Uploads the complete system-audio track and, when recorded, the complete microphone track for "
                "speaker-labelled transcription. The screen recording never leaves this computer. Turning this off "
                "keeps transcription entirely on-device."};
    }
    return {route, "ElevenLabs (developer key on this computer)",
            urlHost(endpoint.value_or(kElevenLabsDefaultBaseURL)).value_or("api.elevenlabs.io"), "scribe_v2", true,
            false,
            "Development path only. Uploads the complete audio tracks straight from this computer using a key you "
            "installed in the keyring, under your own ElevenLabs account and terms. Requires "
            "QUILLMER_LOCAL_ELEVENLABS=1."};
}

}  // namespace quillmer
