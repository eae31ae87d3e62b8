#pragma once

#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/hosted_analysis_client.h"

namespace quillmer {

// A model that summarises a whole meeting from its transcript lines and grounded actions. Throws
// an error whose what() is the user-facing reason when no summary could be had.
class MeetingSummaryProvider {
public:
    virtual ~MeetingSummaryProvider() = default;
    virtual std::string providerName() const = 0;
    virtual std::string modelName() const = 0;
    virtual HostedMeetingSummary summarize(std::string_view transcriptLines,
                                           const std::vector<std::string>& groundedActions, std::stop_token stop) = 0;
};

}  // namespace quillmer
