#include "cli/credentials_commands.h"

#include <termios.h>
#include <unistd.h>

#include <array>
#include <iostream>
#include <optional>

#include "cloud/device_credential.h"
#include "core/utf8.h"

namespace quillmer::cli {

namespace {

struct CredentialKind {
    std::string_view name;
    std::string_view label;
    const KeyringItem& item;
};

const std::array<CredentialKind, 3>& credentialKinds() {
    static const std::array<CredentialKind, 3> kinds{{
        {"relay", "relay credential", kRelayDeviceCredentialItem},
        {"gemini", "Gemini key", kGeminiDevelopmentKeyItem},
        {"elevenlabs", "ElevenLabs key", kElevenLabsDevelopmentKeyItem},
    }};
    return kinds;
}

const CredentialKind* kindNamed(std::string_view name) {
    for (const auto& kind : credentialKinds())
        if (kind.name == name) return &kind;
    return nullptr;
}

// A real key is a few hundred bytes; anything this long is the wrong input.
constexpr size_t kMaximumSecretBytes = 64 * 1024;

// One line typed without echo on a terminal, else everything piped in (up to the limit).
std::optional<std::string> readSecret(const CredentialKind& kind) {
    std::string secret;
    if (isatty(STDIN_FILENO)) {
        std::cerr << "Paste the " << kind.label << " and press Enter (it is not shown): " << std::flush;
        termios saved{};
        const bool quiet = tcgetattr(STDIN_FILENO, &saved) == 0;
        if (quiet) {
            termios silent = saved;
            silent.c_lflag &= ~static_cast<tcflag_t>(ECHO);
            tcsetattr(STDIN_FILENO, TCSAFLUSH, &silent);
        }
        std::getline(std::cin, secret);
        if (quiet) tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        std::cerr << "\n";
        return secret;
    }
    char buffer[4096];
    while (std::cin.read(buffer, sizeof buffer) || std::cin.gcount() > 0) {
        secret.append(buffer, static_cast<size_t>(std::cin.gcount()));
        if (secret.size() > kMaximumSecretBytes) return std::nullopt;
    }
    return secret;
}

std::string keyringTrouble(const KeyringFailure& failure) {
    std::string text = failure.detail.empty() ? "status " + std::to_string(failure.status) : failure.detail;
    if (failure.status == kKeyringNotAvailable) text += " (is a keyring such as GNOME Keyring running in this session?)";
    return text;
}

int setCredential(const CredentialKind& kind) {
    const auto input = readSecret(kind);
    if (!input) return reportError("The input is too long to be a " + std::string(kind.label) + "; nothing was stored.");
    const std::string secret(trimmingWhitespaceAndNewlines(*input));
    if (secret.empty()) return reportError("No " + std::string(kind.label) + " on standard input; nothing was stored.");
    if (secret.find_first_of("\r\n") != std::string::npos)
        return reportError("The " + std::string(kind.label) + " must be one line; nothing was stored.");
    if (&kind.item == &kRelayDeviceCredentialItem && !isDeviceCredentialText(secret))
        return reportError("A relay credential begins with qm1_; nothing was stored.");
    if (const auto failure = ProcessCredentialCache::shared().store(kind.item, secret))
        return reportError("Quillmer could not save the " + std::string(kind.label) + " in the keyring: " +
                           keyringTrouble(*failure));
    std::cout << "Saved the " << kind.label << " in the keyring.\n";
    return kExitSuccess;
}

// What a read of the item says, never the secret itself.
std::string presence(const CredentialKind& kind, const KeyringReadResult& result, bool& unreachable) {
    if (const auto* text = std::get_if<std::string>(&result)) {
        if (&kind.item == &kRelayDeviceCredentialItem && !isDeviceCredentialText(trimmingWhitespaceAndNewlines(*text)))
            return "stored, but ignored: it does not begin with qm1_";
        return "stored in the keyring";
    }
    const auto& failure = std::get<KeyringFailure>(result);
    if (failure.status == kKeyringItemNotFound) return "not set";
    if (failure.status == kKeyringInteractionNotAllowed) return "locked (unlock your keyring to use it)";
    unreachable = unreachable || failure.status == kKeyringNotAvailable;
    return "unknown: " + keyringTrouble(failure);
}

int showStatus() {
    const auto environment = RelayEnvironment::ofProcess();
    bool unreachable = false;
    for (const auto& kind : credentialKinds()) {
        std::string line = presence(kind, ProcessCredentialCache::shared().read(kind.item, true), unreachable);
        if (&kind.item == &kRelayDeviceCredentialItem && environment.rtmsToken &&
            isDeviceCredentialText(trimmingWhitespaceAndNewlines(*environment.rtmsToken)))
            line = "QUILLMER_RTMS_TOKEN supplies it (the keyring entry: " + line + ")";
        std::cout << kind.name << std::string(12 - kind.name.size(), ' ') << line << "\n";
    }
    if (const auto origin = resolveEndpoint(environment, RelayEndpointConfiguration::ofThisBuild()))
        std::cout << "relay host  " << *origin << "\n";
    else
        std::cout << "relay host  none: " << configurationProblem(environment) << "\n";
    return unreachable ? kExitFailure : kExitSuccess;
}

int clearCredential(const CredentialKind& kind) {
    const auto failure = ProcessCredentialCache::shared().remove(kind.item);
    if (!failure)
        std::cout << "Removed the " << kind.label << " from the keyring.\n";
    else if (failure->status == kKeyringItemNotFound)
        std::cout << "No " << kind.label << " was stored.\n";
    else
        return reportError("Quillmer could not remove the " + std::string(kind.label) + " from the keyring: " +
                           keyringTrouble(*failure));
    return kExitSuccess;
}

int runCredentialsCommand(std::span<const std::string> arguments) {
    if (arguments.size() == 1 && arguments[0] == "status") return showStatus();
    const bool named = arguments.size() >= 2 && (arguments[0] == "set" || arguments[0] == "clear");
    const CredentialKind* kind = named ? kindNamed(arguments[1]) : nullptr;
    if (!kind)
        return reportError("credentials needs: set KIND, status or clear KIND, with KIND relay, gemini or elevenlabs "
                           "(see quillmer credentials --help)",
                           kExitUsage);
    if (arguments.size() > 2)
        return reportError(arguments[0] == "set" ? "credentials set reads the secret from standard input, never from "
                                                   "the command line (see quillmer credentials --help)"
                                                 : "credentials clear takes one KIND",
                           kExitUsage);
    return arguments[0] == "set" ? setCredential(*kind) : clearCredential(*kind);
}

}  // namespace

Command credentialsCommand() {
    return {"credentials", "store, show or remove the relay credential and developer keys",
            "Usage: quillmer credentials set KIND\n"
            "       quillmer credentials status\n"
            "       quillmer credentials clear KIND\n\n"
            "Keeps the secrets for remote services in your desktop keyring (the freedesktop Secret\n"
            "Service, for example GNOME Keyring). KIND is one of:\n"
            "  relay       the Quillmer relay device credential (it begins with qm1_); connecting\n"
            "              Zoom stores it too, and QUILLMER_RTMS_TOKEN overrides it\n"
            "  gemini      your own Gemini API key, used only with QUILLMER_LOCAL_GEMINI=1\n"
            "  elevenlabs  your own ElevenLabs API key, used only with QUILLMER_LOCAL_ELEVENLABS=1\n\n"
            "set reads the secret from standard input, never from the command line, where other\n"
            "programs and your shell history would see it: paste it when asked (it is not shown),\n"
            "or pipe it in. Surrounding spaces and line breaks are dropped; a secret replaces the\n"
            "one stored before. status says which are stored, never their values, and which relay\n"
            "this build would use. clear removes one. Nothing is sent anywhere by these commands.\n",
            runCredentialsCommand};
}

}  // namespace quillmer::cli
