#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string_view>

#include "platform/keyring.h"

namespace quillmer {

// Every keyring read of the process goes through one cache, so concurrent callers (analysis tasks,
// cloud sync, the bridge) never ask the keyring for the same item at once and ask at most once for
// what is there. Entries live for the process.
//
// Thread-safe: one lock, held across each keyring call. Calls block while the keyring answers.
class ProcessCredentialCache {
public:
    explicit ProcessCredentialCache(Keyring& keyring) : keyring_(keyring) {}

    // The process's cache over the system keyring, created on first use.
    static ProcessCredentialCache& shared();

    // A cached secret is returned at once; a cached failure too, but only to a non-interactive read
    // (an interactive one asks the keyring again, and may prompt). The answer is cached either way.
    KeyringReadResult read(const KeyringItem& item, bool nonInteractive);

    // Replaces the item in the keyring; on success later reads get `secret` without asking it.
    std::optional<KeyringFailure> store(const KeyringItem& item, std::string_view secret);

    // Removes the item from the keyring and forgets it here.
    std::optional<KeyringFailure> remove(const KeyringItem& item);

private:
    Keyring& keyring_;
    std::mutex lock_;
    std::map<KeyringItem, KeyringReadResult> entries_;
};

}  // namespace quillmer
