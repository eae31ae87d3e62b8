#include "consent/remote_transcription_consent.h"

namespace quillmer {

namespace {

constexpr RemoteTranscriptionRoute kRoutesInOrder[] = {RemoteTranscriptionRoute::hosted,
                                                       RemoteTranscriptionRoute::localDevelopment};

std::optional<RemoteTranscriptionRoute> firstUsableRoute(const RemoteTranscriptionEnvironment& environment) {
    for (auto route : kRoutesInOrder)
        if (RemoteTranscriptionSettings::isConfigured(route, environment)) return route;
    return std::nullopt;
}

RemoteTranscriptionState describedState(RemoteTranscriptionRoute route, bool enabled,
                                        const RemoteTranscriptionEnvironment& environment) {
    const auto disclosure = RemoteTranscriptionSettings::disclosure(
        route, route == RemoteTranscriptionRoute::hosted ? environment.hostedEndpoint
                                                         : std::optional(environment.elevenLabsBaseURL));
    return {true, enabled, disclosure.providerName, disclosure.providerHost, disclosure.model, disclosure.detail};
}

}  // namespace

Json RemoteTranscriptionState::toJSON() const {
    return Json{{"configured", configured}, {"enabled", enabled},   {"providerName", providerName},
                {"providerHost", providerHost}, {"model", model}, {"detail", detail}};
}

RemoteTranscriptionState remoteTranscriptionState(const RemoteTranscriptionSettings& settings,
                                                  const RemoteTranscriptionEnvironment& environment) {
    const auto decision = settings.decision(environment);
    if (decision.route) return describedState(*decision.route, true, environment);
    if (auto usable = firstUsableRoute(environment)) return describedState(*usable, false, environment);
    return {};
}

RemoteTranscriptionState setRemoteTranscription(RemoteTranscriptionSettings& settings,
                                                const RemoteTranscriptionEnvironment& environment, bool on,
                                                Timestamp now) {
    if (!on)
        settings.withdraw();
    else if (auto usable = firstUsableRoute(environment))
        settings.approve(*usable, now);
    return remoteTranscriptionState(settings, environment);
}

}  // namespace quillmer
