#pragma once

#include <chrono>

#include "analysis/gemini_evidence_provider.h"
#include "analysis/meeting_summary_provider.h"
#include "platform/http_transport.h"

namespace quillmer {

// The summary prompt's fixed text, then the transcript lines and the grounded actions.
std::string meetingSummaryPrompt(std::string_view transcriptLines, const std::vector<std::string>& groundedActions);
Json meetingSummaryResponseSchema();

// The meeting summary straight from Gemini with a developer's own key (developer builds only).
class GeminiKeychainSummaryProvider final : public MeetingSummaryProvider {
public:
    GeminiKeychainSummaryProvider(std::string providerName, std::string modelName, std::string key,
                                  HttpTransport& transport, std::string baseURL = geminiBaseURLFromEnvironment(),
                                  std::chrono::milliseconds timeout = std::chrono::seconds(120));

    std::string providerName() const override { return providerName_; }
    std::string modelName() const override { return modelName_; }
    HostedMeetingSummary summarize(std::string_view transcriptLines, const std::vector<std::string>& groundedActions,
                                   std::stop_token stop) override;

private:
    std::string providerName_;
    std::string modelName_;
    std::string key_;
    HttpTransport& transport_;
    std::string baseURL_;
    std::chrono::milliseconds timeout_;
};

}  // namespace quillmer
