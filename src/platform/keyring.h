#pragma once

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace quillmer {

// One generic password, found by its service and account.
struct KeyringItem {
    std::string service;
    std::string account;
    auto operator<=>(const KeyringItem&) const = default;
};

// Status numbers follow the Keychain's, so callers that map "item not found" (-25300) to a
// missing key keep their meaning on every platform.
inline constexpr int32_t kKeyringItemNotFound = -25300;
// The item is locked and the read was not allowed to ask the user to unlock it.
inline constexpr int32_t kKeyringInteractionNotAllowed = -25308;
// No keyring service can be reached (no session bus, no Secret Service on it).
inline constexpr int32_t kKeyringNotAvailable = -25291;
// The user dismissed the unlock prompt.
inline constexpr int32_t kKeyringUserCanceled = -128;
// Any other failure of the keyring service.
inline constexpr int32_t kKeyringInternalFailure = -2070;

struct KeyringFailure {
    int32_t status = kKeyringInternalFailure;
    std::string detail;  // the service's own explanation, for diagnostics; may be empty
};

// The secret as text, or why it could not be read. A failure is a value, never an exception.
using KeyringReadResult = std::variant<std::string, KeyringFailure>;

// The system's store of generic passwords. Implementations are thread-safe; every call may block on
// the keyring service, so keep calls off the main thread where a delay matters.
class Keyring {
public:
    virtual ~Keyring() = default;

    // A non-interactive read never prompts: a locked item is kKeyringInteractionNotAllowed. An
    // interactive read may ask the user to unlock it. Success needs non-empty UTF-8 text; other
    // data is a failure with status 0.
    virtual KeyringReadResult read(const KeyringItem& item, bool nonInteractive) = 0;

    // Deletes every item with the item's service and account, then adds one holding `secret`.
    // Returns the failure, or nothing on success.
    virtual std::optional<KeyringFailure> replace(const KeyringItem& item, std::string_view secret) = 0;

    // Deletes every item with the item's service and account; nothing stored is kKeyringItemNotFound.
    virtual std::optional<KeyringFailure> remove(const KeyringItem& item) = 0;
};

// The keyring of the user's desktop session (on Linux the freedesktop Secret Service). One per
// process; it connects on first use.
Keyring& systemKeyring();

}  // namespace quillmer
