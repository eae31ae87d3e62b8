#include "support/private_keyring.h"

#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <thread>

#include "platform/linux/posix_process_runner.h"

namespace quillmer::testing {

std::optional<std::string> PrivateKeyring::unavailableReason() {
    for (const char* program : {"dbus-daemon", "dbus-send", "gnome-keyring-daemon"})
        if (!findExecutable(program)) return std::string(program) + " is not installed (scripts/install-deps.sh).";
    return std::nullopt;
}

PrivateKeyring::PrivateKeyring() {
    using namespace std::chrono_literals;
    const auto socket = folder_ / "bus";
    address_ = "unix:path=" + socket.string();
    writeTestFile(folder_ / "bus.conf",
                  "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                  " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                  "<busconfig><type>session</type><listen>" + address_ + "</listen><auth>EXTERNAL</auth>"
                  "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                  "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy>"
                  "</busconfig>\n");
    bus_ = std::make_unique<BackgroundProcess>(BackgroundProcess::Launch{
        *findExecutable("dbus-daemon"),
        {"--config-file=" + (folder_ / "bus.conf").string(), "--nofork", "--nopidfile"}, {}, folder_ / "bus.log"});
    for (int i = 0; i < 200 && !std::filesystem::exists(socket); ++i) std::this_thread::sleep_for(25ms);

    // The daemon creates and unlocks the "login" keyring with the password on its standard input.
    writeTestFile(folder_ / "password", "test");
    std::filesystem::create_directories(folder_ / "runtime");
    std::filesystem::permissions(folder_ / "runtime", std::filesystem::perms::owner_all);
    keyring_ = std::make_unique<BackgroundProcess>(BackgroundProcess::Launch{
        "/bin/sh",
        {"-c", "exec gnome-keyring-daemon --foreground --unlock --components=secrets < \"$0\"",
         (folder_ / "password").string()},
        {{"DBUS_SESSION_BUS_ADDRESS", address_},
         {"HOME", folder_.path().string()},
         {"XDG_DATA_HOME", (folder_ / "data").string()},
         {"XDG_RUNTIME_DIR", (folder_ / "runtime").string()}},
        folder_ / "keyring.log"});

    PosixProcessRunner runner;
    const ProcessRequest ask{*findExecutable("dbus-send"),
                             {"--bus=" + address_, "--reply-timeout=1000", "--print-reply", "--dest=org.freedesktop.DBus", "/org/freedesktop/DBus",
                              "org.freedesktop.DBus.NameHasOwner", "string:org.freedesktop.secrets"},
                             std::nullopt,
                             ""};
    for (int i = 0; i < 200; ++i) {
        if (runner.run(ask).standardOutput.find("boolean true") != std::string::npos) {
            environment_ = std::make_unique<ScopedEnvironment>("DBUS_SESSION_BUS_ADDRESS", address_);
            return;
        }
        std::this_thread::sleep_for(25ms);
    }
    throw std::runtime_error("the private keyring did not start: " + bus_->log() + keyring_->log());
}

}  // namespace quillmer::testing
