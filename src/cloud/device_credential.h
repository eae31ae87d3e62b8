#pragma once

// The secrets Quillmer keeps in the keyring, and the relay device credential:
//
//     if (auto credential = deviceCredential(RelayEnvironment::ofProcess()))
//         …relayHeaders(route, *credential)…   // relay_routes.h
//
// Reads go through ProcessCredentialCache::shared() unless a cache is given (tests give their own
// over a fake keyring). May block on the keyring: call off the main thread.

#include <optional>
#include <string>
#include <string_view>

#include "cloud/process_credential_cache.h"
#include "cloud/relay_endpoint.h"

namespace quillmer {

// The relay device credential, written when Zoom is connected (or by `quillmer credentials set relay`).
inline const KeyringItem kRelayDeviceCredentialItem{"ai.quillmer.rtms.development", "sync-token"};
// The developer's own Gemini key, for analysis without the relay (QUILLMER_LOCAL_GEMINI=1).
inline const KeyringItem kGeminiDevelopmentKeyItem{"ai.quillmer.gemini", "development"};
// The developer's own ElevenLabs key, for transcription without the relay (QUILLMER_LOCAL_ELEVENLABS=1).
inline const KeyringItem kElevenLabsDevelopmentKeyItem{"ai.quillmer.elevenlabs", "transcription"};

// True for a trimmed text that has the device credential's form (it begins with "qm1_").
bool isDeviceCredentialText(std::string_view trimmed);

// QUILLMER_RTMS_TOKEN when it is a credential, else the keyring item when it is one (read
// non-interactively unless `nonInteractive` is false), else nothing: Zoom is not connected.
std::optional<std::string> deviceCredential(const RelayEnvironment& environment, bool nonInteractive = true,
                                            ProcessCredentialCache& cache = ProcessCredentialCache::shared());

// Stores the trimmed token as the device credential, replacing any earlier one. Throws
// CloudSessionSyncError: invalidCredential when it is not one, credentialStorageFailed when the
// keyring refuses it.
void storeDeviceCredential(std::string_view token, ProcessCredentialCache& cache = ProcessCredentialCache::shared());

// A developer key (Gemini, ElevenLabs), read non-interactively and trimmed; the failure keeps the
// keyring's status (kKeyringItemNotFound: no key installed).
KeyringReadResult readDeveloperKey(const KeyringItem& item,
                                   ProcessCredentialCache& cache = ProcessCredentialCache::shared());

}  // namespace quillmer
