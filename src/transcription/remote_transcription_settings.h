#pragma once
// Whether a run may upload its audio tracks, and where to:
//
//     RemoteTranscriptionSettings settings(defaults);
//     const auto decision = settings.decision(RemoteTranscriptionEnvironment::ofProcess());
//     if (decision.route) …build a DiarizedTranscriptionClient for it…
//
// The approval is two user-defaults keys, per user, not per session.

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "core/iso8601.h"
#include "platform/user_defaults.h"

namespace quillmer {

enum class RemoteTranscriptionRoute { hosted, localDevelopment };

enum class RemoteTranscriptionUnavailableReason {
    notApproved,
    hostedCredentialMissing,
    relayNotConfigured,
    localDevelopmentPathDisabled,
    localDevelopmentKeyMissing,
};

std::string_view routeText(RemoteTranscriptionRoute route);  // "hosted", "localDevelopment"
std::optional<RemoteTranscriptionRoute> parseRoute(std::string_view text);
std::string_view reasonText(RemoteTranscriptionUnavailableReason reason);  // "notApproved", …

inline constexpr const char* kRemoteRouteKey = "ai.quillmer.transcription.remoteRoute";
inline constexpr const char* kRemoteApprovedAtKey = "ai.quillmer.transcription.remoteApprovedAt";
inline constexpr int64_t kRemoteTrackLimitBytes = 67'108'864;
inline constexpr const char* kElevenLabsDefaultBaseURL = "https://api.elevenlabs.io";

// What the decision reads about this process. The functions may touch the keyring and are called
// only while deciding.
struct RemoteTranscriptionEnvironment {
    std::optional<std::string> hostedEndpoint;  // the relay origin; absent when none is configured
    std::function<std::optional<std::string>()> deviceCredential;
    std::function<std::optional<std::string>()> localDevelopmentKey;
    bool localDevelopmentPathEnabled = false;  // QUILLMER_LOCAL_ELEVENLABS is exactly "1"
    std::string elevenLabsBaseURL = kElevenLabsDefaultBaseURL;  // QUILLMER_ELEVENLABS_BASE_URL

    static RemoteTranscriptionEnvironment ofProcess();
};

// Either a route that can run now, with what it needs, or why transcription stays on this computer.
struct RemoteTranscriptionDecision {
    std::optional<RemoteTranscriptionRoute> route;
    RemoteTranscriptionUnavailableReason reason = RemoteTranscriptionUnavailableReason::notApproved;  // when no route
    std::string endpoint;  // hosted: the relay origin; developer: the ElevenLabs base URL
    std::string secret;    // hosted: the device credential; developer: the ElevenLabs key
};

// Every word the user is shown about a route.
struct RemoteTranscriptionDisclosure {
    RemoteTranscriptionRoute route;
    std::string providerName;
    std::string providerHost;
    std::string model;
    bool uploadsCompleteAudioTracks = true;
    bool sendsRecordedVideo = false;
    std::string detail;
};

class RemoteTranscriptionSettings {
public:
    explicit RemoteTranscriptionSettings(UserDefaults& defaults) : defaults_(defaults) {}

    std::optional<RemoteTranscriptionRoute> approvedRoute() const;  // a stored value of neither route: none
    std::optional<Timestamp> approvedAt() const;
    void approve(RemoteTranscriptionRoute route, Timestamp now);
    // Removes both keys: transcription stays on this computer.
    void withdraw();

    RemoteTranscriptionDecision decision(const RemoteTranscriptionEnvironment& environment) const;
    static bool isConfigured(RemoteTranscriptionRoute route, const RemoteTranscriptionEnvironment& environment);
    // `endpoint`: the relay origin (hosted) or the ElevenLabs base URL (developer).
    static RemoteTranscriptionDisclosure disclosure(RemoteTranscriptionRoute route,
                                                    const std::optional<std::string>& endpoint);

private:
    UserDefaults& defaults_;
};

// One sentence on where audio goes for this decision and why, for a terminal.
std::string describeDecision(const RemoteTranscriptionDecision& decision);

// The host of a URL ("https://relay.example:8443/x" → "relay.example"); nothing when it has none.
std::optional<std::string> urlHost(std::string_view url);

}  // namespace quillmer
