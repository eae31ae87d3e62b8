#pragma once

#include "platform/keyring.h"

namespace quillmer {

// Generic passwords in the freedesktop Secret Service (GNOME Keyring, KWallet's Secret Service)
// through libsecret, found by the attributes "service" and "account". Items stored by other tools
// with those two attributes (secret-tool store service … account …) are found too.
//
// A non-interactive read never unlocks anything, so it never prompts; without a session bus or a
// Secret Service on it every call returns kKeyringNotAvailable. Thread-safe: libsecret runs each
// call on a private main context.
class SecretServiceKeyring final : public Keyring {
public:
    KeyringReadResult read(const KeyringItem& item, bool nonInteractive) override;
    std::optional<KeyringFailure> replace(const KeyringItem& item, std::string_view secret) override;
    std::optional<KeyringFailure> remove(const KeyringItem& item) override;
};

}  // namespace quillmer
