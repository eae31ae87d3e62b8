#include "cli/consent_commands.h"

#include <chrono>
#include <iostream>

#include "consent/consent_store.h"
#include "core/iso8601.h"
#include "platform/application_paths.h"
#include "platform/linux/json_file_user_defaults.h"

namespace quillmer::cli {

namespace {

int runConsentCommand(std::span<const std::string> arguments) {
    JsonFileUserDefaults defaults(userDefaultsFile());
    return runConsent(defaults, arguments);
}

}  // namespace

int runConsent(UserDefaults& defaults, std::span<const std::string> arguments) {
    if (arguments.size() != 2 || arguments[0] != "standing" ||
        (arguments[1] != "on" && arguments[1] != "off" && arguments[1] != "status"))
        return reportError("consent needs: standing on|off|status (see quillmer consent --help)", kExitUsage);
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
    return {"consent", "turn standing recording consent on or off, or show it",
            "Usage: quillmer consent standing on|off|status\n\n"
            "Standing consent is your promise that you always tell everyone on a call before you\n"
            "record it. While it is on, quillmer record confirms that for you, as the review page's\n"
            "switch does; off withdraws it, and record then needs --everyone-knows each time.\n"
            "status shows it (and since when it is on) without changing it. Either way Quillmer\n"
            "keeps your confirmation with each recording as consent.json; it cannot verify it.\n",
            runConsentCommand};
}

}  // namespace quillmer::cli
