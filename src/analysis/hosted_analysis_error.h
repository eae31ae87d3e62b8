#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/error.h"
#include "core/uuid.h"

namespace quillmer {

// The relay's error codes, in the relay's order.
enum class HostedErrorCode {
    authRequired,
    invalidRequest,
    payloadTooLarge,
    candidateTooLarge,
    audioTooLarge,
    dailyLimitCredential,
    dailyLimitService,
    analysisUnavailable,
    transcriptionUnavailable,
    providerRejected,
    providerUnavailable,
    providerTimeout,
    rateLimited,
};

// "daily_limit_service" → dailyLimitService; an unknown text is no code.
std::optional<HostedErrorCode> parseHostedErrorCode(std::string_view text);
std::string_view hostedErrorCodeText(HostedErrorCode code);

enum class HostedAnalysisErrorCase {
    invalidRequest,
    candidateTooLarge,
    payloadTooLarge,
    costCapReached,
    rateLimited,
    providerRejected,
    serviceUnavailable,
    notConnected,
    localDevelopmentKeyMissing,
    relayNotConfigured,
    unauthorized,
    timedOut,
    malformedResponse,
};

// A failure of the hosted analysis route; what() is the user-facing text. Only the values that
// belong to the case are set.
class HostedAnalysisError : public FamilyError<HostedAnalysisErrorCase> {
public:
    using Case = HostedAnalysisErrorCase;

    static HostedAnalysisError invalidRequest(std::string detail);
    static HostedAnalysisError candidateTooLarge(const Uuid& candidateID);
    static HostedAnalysisError payloadTooLarge(std::string detail);
    static HostedAnalysisError costCapReached(std::optional<double> retryAfterSeconds);
    static HostedAnalysisError rateLimited(std::optional<double> retryAfterSeconds);
    static HostedAnalysisError providerRejected(std::string detail);
    static HostedAnalysisError serviceUnavailable(long statusCode, std::string detail);
    // The cases without values: notConnected … malformedResponse.
    static HostedAnalysisError of(Case kind);

    const std::string& detail() const { return detail_; }
    std::optional<Uuid> candidateID() const { return candidateID_; }
    std::optional<double> retryAfterSeconds() const { return retryAfterSeconds_; }
    long statusCode() const { return statusCode_; }

    bool operator==(const HostedAnalysisError& other) const {
        return kind() == other.kind() && detail_ == other.detail_ && candidateID_ == other.candidateID_ &&
               retryAfterSeconds_ == other.retryAfterSeconds_ && statusCode_ == other.statusCode_;
    }

private:
    HostedAnalysisError(Case kind, const std::string& text) : FamilyError(kind, text) {}

    std::string detail_;
    std::optional<Uuid> candidateID_;
    std::optional<double> retryAfterSeconds_;
    long statusCode_ = 0;
};

// " Analysis becomes available again in about N minutes." (minutes rounded, halves away from zero).
std::string availableAgainSentence(double retryAfterSeconds);

}  // namespace quillmer
