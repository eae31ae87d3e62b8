#pragma once

#include <optional>
#include <string>

#include "core/error.h"

namespace quillmer {

enum class CloudSessionSyncErrorCase {
    requestFailed,
    invalidSession,
    invalidCredential,
    credentialStorageFailed,
    unsafePath,
    fileTooLarge,
    integrityFailure,
    relayNotConfigured,
};

// Failures of the relay's cloud meetings and of storing the device credential.
class CloudSessionSyncError : public FamilyError<CloudSessionSyncErrorCase> {
public:
    static CloudSessionSyncError requestFailed(std::optional<long> status) {
        return {CloudSessionSyncErrorCase::requestFailed,
                "Cloud meeting sync failed" + (status ? " (HTTP " + std::to_string(*status) + ")" : std::string()) + "."};
    }
    static CloudSessionSyncError invalidSession() {
        return {CloudSessionSyncErrorCase::invalidSession, "The cloud meeting has an invalid session identity."};
    }
    static CloudSessionSyncError invalidCredential() {
        return {CloudSessionSyncErrorCase::invalidCredential, "The relay returned an invalid device credential."};
    }
    static CloudSessionSyncError credentialStorageFailed() {
        return {CloudSessionSyncErrorCase::credentialStorageFailed,
                "Quillmer could not save the Zoom connection in the keyring."};
    }
    static CloudSessionSyncError unsafePath() {
        return {CloudSessionSyncErrorCase::unsafePath, "The cloud meeting referenced an unsafe artifact path."};
    }
    static CloudSessionSyncError fileTooLarge() {
        return {CloudSessionSyncErrorCase::fileTooLarge, "A cloud meeting artifact exceeded the safe download limit."};
    }
    static CloudSessionSyncError integrityFailure() {
        return {CloudSessionSyncErrorCase::integrityFailure, "A cloud meeting artifact failed its integrity check."};
    }
    static CloudSessionSyncError relayNotConfigured() {
        return {CloudSessionSyncErrorCase::relayNotConfigured,
                "This build of Quillmer has no Quillmer relay host configured, so it will not send or fetch meeting data."};
    }

private:
    CloudSessionSyncError(CloudSessionSyncErrorCase kind, const std::string& text) : FamilyError(kind, text) {}
};

}  // namespace quillmer
