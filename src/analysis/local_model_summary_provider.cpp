#include "analysis/local_model_summary_provider.h"

#include "analysis/gemini_summary_provider.h"

namespace quillmer {

LocalModelSummaryProvider::LocalModelSummaryProvider(const LocalModelEndpoint& endpoint, std::string modelName,
                                                     HttpTransport& transport, LocalModelTimeouts timeouts)
    : chat_(endpoint, std::move(modelName), transport, timeouts) {}

HostedMeetingSummary LocalModelSummaryProvider::summarize(std::string_view transcriptLines,
                                                          const std::vector<std::string>& groundedActions,
                                                          std::stop_token stop) {
    const Json answer = chat_.ask(
        "quillmer_meeting_summary", meetingSummaryResponseSchema(),
        [&](std::string& body) { appendTextPart(body, meetingSummaryPrompt(transcriptLines, groundedActions)); }, stop);
    try {
        return HostedMeetingSummary::fromJSON(answer);
    } catch (const DecodingError&) {
        throw LocalModelError::unexpectedAnswer();
    }
}

}  // namespace quillmer
