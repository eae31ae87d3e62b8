#include "cloud/device_credential.h"

#include "cloud/cloud_session_sync_error.h"
#include "core/utf8.h"

namespace quillmer {

bool isDeviceCredentialText(std::string_view trimmed) { return trimmed.starts_with("qm1_"); }

std::optional<std::string> deviceCredential(const RelayEnvironment& environment, bool nonInteractive,
                                            ProcessCredentialCache& cache) {
    if (environment.rtmsToken) {
        const auto token = trimmingWhitespaceAndNewlines(*environment.rtmsToken);
        if (isDeviceCredentialText(token)) return std::string(token);
    }
    const auto stored = cache.read(kRelayDeviceCredentialItem, nonInteractive);
    if (const auto* text = std::get_if<std::string>(&stored)) {
        const auto token = trimmingWhitespaceAndNewlines(*text);
        if (isDeviceCredentialText(token)) return std::string(token);
    }
    return std::nullopt;
}

void storeDeviceCredential(std::string_view token, ProcessCredentialCache& cache) {
    const auto trimmed = trimmingWhitespaceAndNewlines(token);
    if (!isDeviceCredentialText(trimmed)) throw CloudSessionSyncError::invalidCredential();
    if (cache.store(kRelayDeviceCredentialItem, trimmed)) throw CloudSessionSyncError::credentialStorageFailed();
}

KeyringReadResult readDeveloperKey(const KeyringItem& item, ProcessCredentialCache& cache) {
    auto result = cache.read(item, true);
    if (auto* text = std::get_if<std::string>(&result)) {
        const auto trimmed = trimmingWhitespaceAndNewlines(*text);
        if (trimmed.empty()) return KeyringFailure{0, "the keyring entry is blank"};
        return std::string(trimmed);
    }
    return result;
}

}  // namespace quillmer
