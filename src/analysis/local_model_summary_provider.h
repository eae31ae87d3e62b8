#pragma once

#include <string>

#include "analysis/local_model_chat.h"
#include "analysis/local_model_endpoint.h"
#include "analysis/meeting_summary_provider.h"
#include "platform/http_transport.h"

namespace quillmer {

// The meeting summary from a model server on this computer, asked the same as the other routes.
class LocalModelSummaryProvider final : public MeetingSummaryProvider {
public:
    // Throws Error when the endpoint is not on this computer or the model name is not acceptable.
    LocalModelSummaryProvider(const LocalModelEndpoint& endpoint, std::string modelName, HttpTransport& transport,
                              LocalModelTimeouts timeouts = {});

    std::string providerName() const override { return kLocalModelProviderName; }
    std::string modelName() const override { return chat_.model(); }
    // An answer that is not JSON of the summary's shape throws LocalModelError::unexpectedAnswer.
    HostedMeetingSummary summarize(std::string_view transcriptLines, const std::vector<std::string>& groundedActions,
                                   std::stop_token stop) override;

private:
    LocalModelChat chat_;
};

}  // namespace quillmer
