#include "cloud/process_credential_cache.h"

namespace quillmer {

ProcessCredentialCache& ProcessCredentialCache::shared() {
    // Never destroyed: worker threads may still read while the process exits.
    static auto* cache = new ProcessCredentialCache(systemKeyring());
    return *cache;
}

KeyringReadResult ProcessCredentialCache::read(const KeyringItem& item, bool nonInteractive) {
    std::lock_guard guard(lock_);
    if (const auto cached = entries_.find(item); cached != entries_.end()) {
        if (std::holds_alternative<std::string>(cached->second) || nonInteractive) return cached->second;
    }
    auto result = keyring_.read(item, nonInteractive);
    entries_.insert_or_assign(item, result);
    return result;
}

std::optional<KeyringFailure> ProcessCredentialCache::store(const KeyringItem& item, std::string_view secret) {
    std::lock_guard guard(lock_);
    auto failure = keyring_.replace(item, secret);
    // After a failed replace the old item may or may not be gone: ask the keyring next time.
    if (failure)
        entries_.erase(item);
    else
        entries_.insert_or_assign(item, std::string(secret));
    return failure;
}

std::optional<KeyringFailure> ProcessCredentialCache::remove(const KeyringItem& item) {
    std::lock_guard guard(lock_);
    entries_.erase(item);
    return keyring_.remove(item);
}

}  // namespace quillmer
