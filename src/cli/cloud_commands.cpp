#include "cli/cloud_commands.h"

#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <iostream>

#include "capture/session_folder.h"
#include "cloud/cloud_session_sync_error.h"
#include "cloud/device_credential.h"
#include "cloud/zoom_connection.h"
#include "core/utf8.h"
#include "engine/cloud_sync_connection.h"
#include "platform/application_paths.h"
#include "platform/linux/gio_url_opener.h"
#include "platform/linux/json_file_user_defaults.h"

namespace quillmer::cli {

namespace {

constexpr std::chrono::seconds kConnectWindow{600};

// One line from standard input, waiting until `deadline`; nothing at its end or the deadline.
std::optional<std::string> readLineUntil(std::chrono::steady_clock::time_point deadline) {
    std::string line;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return std::nullopt;
        pollfd input{STDIN_FILENO, POLLIN, 0};
        if (::poll(&input, 1, static_cast<int>(left.count())) <= 0) continue;
        char c = 0;
        if (::read(STDIN_FILENO, &c, 1) != 1) return line.empty() ? std::nullopt : std::optional(line);
        if (c == '\n') return line;
        if (line.size() < 8192) line += c;
    }
}

// The browser hands quillmer:// links to the desktop application, which only accepts a connection
// it started itself; so this command, which holds its own one-time state, takes the link pasted
// from the browser on standard input.
int runConnect(std::span<const std::string> arguments) {
    if (!arguments.empty()) return reportError("connect takes no arguments", kExitUsage);
    JsonFileUserDefaults defaults(userDefaultsFile());
    ZoomConnectStateStore states;
    std::string address;
    ZoomConnection connection({cloudTransport(), defaults,
                               [&](const std::string& url) {
                                   address = url;
                                   return openURLWithDefaultApplication(url);
                               },
                               configuredRelayOrigin},
                              states);
    try {
        connection.startConnection();
        std::cout << "Zoom sign-in opened in your browser.\n";
    } catch (const ZoomCloudConnectionError& error) {
        if (error.kind() != ZoomCloudConnectionErrorCase::browserUnavailable) return reportError(error.what());
        // The state stays pending, so the printed address works as well.
        std::cout << "No browser could be opened. Open this address to sign in to Zoom:\n" << address << "\n";
    }
    std::cout << "When the browser offers a quillmer://zoom-connected link, copy it and paste it here "
                 "(within 10 minutes):\n"
              << std::flush;
    const auto deadline = std::chrono::steady_clock::now() + kConnectWindow;
    while (const auto line = readLineUntil(deadline)) {
        const std::string link(trimmingWhitespaceAndNewlines(*line));
        if (link.empty()) continue;
        try {
            connection.handleCallback(link);
            std::cout << "Zoom is connected; the relay credential is in the keyring.\n";
            return kExitSuccess;
        } catch (const ZoomCloudConnectionError& error) {
            if (error.kind() != ZoomCloudConnectionErrorCase::invalidCallback) return reportError(error.what());
            std::cerr << "quillmer: " << error.what() << " Paste the whole link.\n";
        } catch (const std::exception& error) {
            return reportError(error.what());
        }
    }
    return reportError("No Zoom connection link arrived; nothing was connected.");
}

int runSync(std::span<const std::string> arguments) {
    if (!arguments.empty()) return reportError("sync takes no arguments", kExitUsage);
    if (!configuredRelayOrigin()) return reportError(CloudSessionSyncError::relayNotConfigured().what());
    const auto relay = configuredCloudRelay();
    if (!relay) return reportError("Zoom is not connected; run quillmer connect first.");
    try {
        CloudSessionSync sync(sessionsRoot(), exportsDirectory(), *relay);
        sync.sync({}, [](const std::string& line) { std::cout << line << "\n" << std::flush; });
    } catch (const std::exception& error) {
        return reportError(error.what());
    }
    return kExitSuccess;
}

int runDisconnect(std::span<const std::string> arguments) {
    if (!arguments.empty()) return reportError("disconnect takes no arguments", kExitUsage);
    const auto failure = ProcessCredentialCache::shared().remove(kRelayDeviceCredentialItem);
    if (failure && failure->status != kKeyringItemNotFound)
        return reportError("Quillmer could not remove the Zoom connection from the keyring: " + failure->detail);
    std::cout << (failure ? "Zoom was not connected.\n" : "Zoom is disconnected; the relay credential was removed.\n");
    if (RelayEnvironment::ofProcess().rtmsToken)
        std::cout << "QUILLMER_RTMS_TOKEN is still set and still supplies a credential.\n";
    return kExitSuccess;
}

}  // namespace

Command connectCommand() {
    return {"connect", "connect Zoom through the browser (stores the relay credential)",
            "Usage: quillmer connect\n\n"
            "Opens the relay's Zoom sign-in page in the default browser (or prints its address when no browser\n"
            "can be opened) and waits up to 10 minutes for the quillmer://zoom-connected link the browser is\n"
            "sent back to: paste that link on standard input. Only the link answering this command's own\n"
            "sign-in is accepted, once; its ticket is exchanged for the relay credential, kept in the keyring.\n",
            runConnect};
}

Command syncCommand() {
    return {"sync", "import finished cloud meetings from the relay",
            "Usage: quillmer sync\n\n"
            "Downloads every finished meeting the relay holds for the connected Zoom account into the Sessions\n"
            "and Exports folders, checks each frame's size and digest, and then deletes it on the relay.\n"
            "A meeting is moved into place only when all of it arrived.\n",
            runSync};
}

Command disconnectCommand() {
    return {"disconnect", "forget the Zoom connection (removes the relay credential)",
            "Usage: quillmer disconnect\n\nRemoves the relay device credential from the keyring.\n", runDisconnect};
}

}  // namespace quillmer::cli
