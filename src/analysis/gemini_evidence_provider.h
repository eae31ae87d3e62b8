#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "analysis/analysis_retry.h"
#include "analysis/evidence_analysis_provider.h"
#include "core/error.h"
#include "platform/http_transport.h"

namespace quillmer {

enum class GeminiAnalysisErrorCase {
    keychainFailure,
    candidateTooLarge,
    apiFailure,
    allCandidatesFailed,
    missingKey,
    invalidModel,
    networkTimedOut,
};

// A failure of the developer-key route; what() is the user-facing text.
class GeminiAnalysisError : public FamilyError<GeminiAnalysisErrorCase> {
public:
    using Case = GeminiAnalysisErrorCase;
    static GeminiAnalysisError keychainFailure(int32_t status);
    static GeminiAnalysisError candidateTooLarge(const Uuid& candidateID);
    static GeminiAnalysisError apiFailure(std::optional<long> statusCode, const std::string& detail);
    static GeminiAnalysisError allCandidatesFailed(int failures);
    static GeminiAnalysisError missingKey();
    static GeminiAnalysisError invalidModel();
    static GeminiAnalysisError networkTimedOut();

private:
    using FamilyError::FamilyError;
};

inline constexpr const char* kDefaultGeminiBaseURL = "https://generativelanguage.googleapis.com";

// QUILLMER_GEMINI_BASE_URL when set and non-empty, else Google's API host.
std::string geminiBaseURLFromEnvironment();

struct GeminiTimeouts {
    std::chrono::milliseconds request{std::chrono::seconds(60)};    // one attempt, connection to last byte
    std::chrono::milliseconds candidate{std::chrono::seconds(120)};  // every attempt and wait together
};

// Evidence analysis straight against Gemini with a developer's own key (developer builds only).
// The caller reads the key from the keyring; an empty key is `missingKey`.
class GeminiEvidenceProvider final : public EvidenceAnalysisProvider {
public:
    GeminiEvidenceProvider(std::string modelName, std::string key, std::string providerName, HttpTransport& transport,
                           std::string baseURL = geminiBaseURLFromEnvironment(), RetrySleep sleep = sleepUnlessStopped,
                           GeminiTimeouts timeouts = {});

    std::string providerName() const override { return providerName_; }
    std::string modelName() const override { return modelName_; }
    std::optional<GroundedFeedbackItem> analyze(const EvidenceBundleDocument::Candidate& candidate,
                                                const std::filesystem::path& bundleDirectory,
                                                std::stop_token stop) override;

private:
    HttpResponse sendWithRetry(HttpRequest request, std::stop_token stop) const;

    std::string modelName_;
    std::string key_;
    std::string providerName_;
    HttpTransport& transport_;
    std::string baseURL_;
    RetrySleep sleep_;
    GeminiTimeouts timeouts_;
};

}  // namespace quillmer
