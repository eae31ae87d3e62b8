#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>

#include "support/background_process.h"
#include "support/temporary_folder.h"

namespace quillmer::testing {

// A private session bus with an unlocked GNOME Keyring on it, and $DBUS_SESSION_BUS_ADDRESS
// pointing at it while the object lives. The bus activates nothing, so no other service (and no
// prompt) can appear. Start it before anything in the process talks to a session bus: GLib keeps
// the first one.
class PrivateKeyring {
public:
    // Why it cannot be started here (dbus-daemon or gnome-keyring-daemon missing), or nothing.
    static std::optional<std::string> unavailableReason();

    // Waits until the keyring answers on the bus; throws std::runtime_error if it never does.
    PrivateKeyring();

    const std::string& busAddress() const { return address_; }

private:
    TemporaryFolder folder_;
    std::string address_;
    std::unique_ptr<BackgroundProcess> bus_;
    std::unique_ptr<BackgroundProcess> keyring_;
    std::unique_ptr<ScopedEnvironment> environment_;
};

}  // namespace quillmer::testing
