#include "cli/consent_commands.h"

#include <chrono>
#include <iostream>

#include "consent/consent_store.h"
#include "consent/remote_transcription_consent.h"
#include "core/iso8601.h"
#include "platform/application_paths.h"
#include "platform/linux/json_file_user_defaults.h"

namespace quillmer::cli {

namespace {

int runConsentCommand(std::span<const std::string> arguments) {
    JsonFileUserDefaults defaults(userDefaultsFile());
    return runConsent(defaults, arguments, RemoteTranscriptionEnvironment::ofProcess());
}

}  // namespace

int runRemoteTranscription(UserDefaults& defaults, const std::string& choice,
                           const RemoteTranscriptionEnvironment& environment) {
    RemoteTranscriptionSettings settings(defaults);
    const auto state = choice == "status" ? remoteTranscriptionState(settings, environment)
                                          : setRemoteTranscription(settings, environment, choice == "on",
                                                                   std::chrono::system_clock::now());
    if (state.enabled)
        std::cout << "Remote transcription is on: quillmer transcribe uploads the complete audio tracks to "
                  << state.providerName << " (" << state.providerHost << ", model " << state.model
                  << "). The screen recording never leaves this computer.\n";
    else if (choice == "on")
        std::cout << "Remote transcription stays off: "
                  << (state.configured ? "it could not be switched on"
                                       : "no relay credential, and no ElevenLabs developer key with "
                                         "QUILLMER_LOCAL_ELEVENLABS=1")
                  << ". Transcription stays on this computer.\n";
    else if (settings.approvedRoute())
        std::cout << "Remote transcription is approved, but audio is transcribed "
                  << describeDecision(settings.decision(environment)) << ".\n";
    else
        std::cout << "Remote transcription is off: audio is transcribed on this computer only"
                  << (state.configured ? " (" + state.providerName + " at " + state.providerHost + " is available)"
                                       : "")
                  << ".\n";
    return kExitSuccess;
}

int runConsent(UserDefaults& defaults, std::span<const std::string> arguments,
               const RemoteTranscriptionEnvironment& environment) {
    const bool choiceKnown = arguments.size() == 2 &&
                             (arguments[1] == "on" || arguments[1] == "off" || arguments[1] == "status");
    if (choiceKnown && arguments[0] == "remote-transcription")
        return runRemoteTranscription(defaults, arguments[1], environment);
    if (!choiceKnown || arguments[0] != "standing")
        return reportError(
            "consent needs: standing on|off|status, or remote-transcription on|off|status (see quillmer consent --help)",
            kExitUsage);
    ConsentStore store(defaults);
    const auto state = arguments[1] == "status"
                           ? store.recordingConsentState()
                           : store.setStandingRecordingConsent(arguments[1] == "on", std::chrono::system_clock::now());
    if (state.standing)
        std::cout << "Standing consent is on" << (state.standingSince ? " since " + formatISO8601(*state.standingSince) : "")
                  << ": quillmer record confirms that everyone on the call knows.\n";
    else
        std::cout << "Standing consent is off: quillmer record needs --everyone-knows.\n";
    return kExitSuccess;
}

Command consentCommand() {
    return {"consent", "turn standing recording consent or remote transcription on or off, or show them",
            "Usage: quillmer consent standing on|off|status\n"
            "       quillmer consent remote-transcription on|off|status\n\n"
            "Standing consent is your promise that you always tell everyone on a call before you\n"
            "record it. While it is on, quillmer record confirms that for you, as the review page's\n"
            "switch does; off withdraws it, and record then needs --everyone-knows each time.\n"
            "status shows it (and since when it is on) without changing it. Either way Quillmer\n"
            "keeps your confirmation with each recording as consent.json; it cannot verify it.\n\n"
            "remote-transcription on lets quillmer transcribe upload the complete audio tracks (never\n"
            "the screen recording) for speaker-labelled transcription: through the Quillmer relay when\n"
            "this computer has its credential, else with your own ElevenLabs key when\n"
            "QUILLMER_LOCAL_ELEVENLABS=1. off withdraws it; status shows it and the provider.\n",
            runConsentCommand};
}

}  // namespace quillmer::cli
