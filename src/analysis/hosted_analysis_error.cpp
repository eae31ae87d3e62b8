#include "analysis/hosted_analysis_error.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "analysis/candidate_frames.h"

namespace quillmer {

namespace {

constexpr std::array<std::string_view, 13> kCodeTexts = {
    "auth_required",          "invalid_request",           "payload_too_large", "candidate_too_large",
    "audio_too_large",        "daily_limit_credential",    "daily_limit_service", "analysis_unavailable",
    "transcription_unavailable", "provider_rejected",      "provider_unavailable", "provider_timeout",
    "rate_limited",
};

}  // namespace

std::optional<HostedErrorCode> parseHostedErrorCode(std::string_view text) {
    for (size_t i = 0; i < kCodeTexts.size(); ++i)
        if (kCodeTexts[i] == text) return static_cast<HostedErrorCode>(i);
    return std::nullopt;
}

std::string_view hostedErrorCodeText(HostedErrorCode code) { return kCodeTexts.at(static_cast<size_t>(code)); }

std::string availableAgainSentence(double retryAfterSeconds) {
    // Halves away from zero; an absurd value from the relay is bounded before it becomes an integer.
    const auto minutes = static_cast<long long>(std::round(std::clamp(retryAfterSeconds, -1e12, 1e12) / 60));
    return " Analysis becomes available again in about " + std::to_string(minutes) + " minutes.";
}

HostedAnalysisError HostedAnalysisError::invalidRequest(std::string detail) {
    HostedAnalysisError error(Case::invalidRequest, "Quillmer analysis rejected this evidence moment: " + detail);
    error.detail_ = std::move(detail);
    return error;
}

HostedAnalysisError HostedAnalysisError::candidateTooLarge(const Uuid& candidateID) {
    HostedAnalysisError error(Case::candidateTooLarge,
                              candidateFramesRefusal(CandidateFramesOutcome::tooLarge, candidateID));
    error.candidateID_ = candidateID;
    return error;
}

HostedAnalysisError HostedAnalysisError::payloadTooLarge(std::string detail) {
    HostedAnalysisError error(Case::payloadTooLarge,
                              "Quillmer analysis refused this request because it was too large: " + detail);
    error.detail_ = std::move(detail);
    return error;
}

HostedAnalysisError HostedAnalysisError::costCapReached(std::optional<double> retryAfterSeconds) {
    std::string text = "Quillmer analysis has hit its cost limit for now, so this evidence moment was not sent.";
    if (retryAfterSeconds) text += availableAgainSentence(*retryAfterSeconds);
    text += " Your capture, transcript and evidence bundle are complete and stay on this computer; run analysis "
            "again later.";
    HostedAnalysisError error(Case::costCapReached, text);
    error.retryAfterSeconds_ = retryAfterSeconds;
    return error;
}

HostedAnalysisError HostedAnalysisError::rateLimited(std::optional<double> retryAfterSeconds) {
    HostedAnalysisError error(Case::rateLimited,
                              "Quillmer analysis is rate limited right now. Try this evidence moment again in a moment.");
    error.retryAfterSeconds_ = retryAfterSeconds;
    return error;
}

HostedAnalysisError HostedAnalysisError::providerRejected(std::string detail) {
    HostedAnalysisError error(Case::providerRejected,
                              "The analysis model could not interpret this evidence moment: " + detail);
    error.detail_ = std::move(detail);
    return error;
}

HostedAnalysisError HostedAnalysisError::serviceUnavailable(long statusCode, std::string detail) {
    HostedAnalysisError error(Case::serviceUnavailable, "Quillmer analysis is temporarily unavailable (HTTP " +
                                                            std::to_string(statusCode) + "): " + detail);
    error.statusCode_ = statusCode;
    error.detail_ = std::move(detail);
    return error;
}

HostedAnalysisError HostedAnalysisError::of(Case kind) {
    switch (kind) {
        case Case::notConnected:
            return {kind, "Connect your Zoom account in Quillmer to analyze evidence. Capture, transcription and export "
                          "keep working without it."};
        case Case::localDevelopmentKeyMissing:
            return {kind, "QUILLMER_LOCAL_GEMINI=1 is set but no Gemini development key is installed in the Quillmer "
                          "keyring entry."};
        case Case::relayNotConfigured:
            return {kind, "This build of Quillmer has no Quillmer analysis host configured, so nothing was sent. "
                          "Capture, transcription and export keep working."};
        case Case::unauthorized:
            return {kind, "Quillmer's connection expired. Reconnect Zoom to continue analyzing evidence."};
        case Case::timedOut:
            return {kind, "Quillmer analysis exceeded its time limit for this evidence moment."};
        case Case::malformedResponse:
            return {kind, "Quillmer analysis returned a response that did not match the expected contract."};
        default:
            // The cases with values have their own constructors; reaching here is a caller's slip.
            return {Case::malformedResponse,
                    "Quillmer analysis returned a response that did not match the expected contract."};
    }
}

}  // namespace quillmer
