#pragma once

#include "analysis/evidence_analysis_provider.h"
#include "analysis/hosted_analysis_client.h"
#include "analysis/meeting_summary_provider.h"

namespace quillmer {

// Evidence analysis through the relay: one candidate per call, grounded like the developer-key route.
class HostedEvidenceProvider final : public EvidenceAnalysisProvider {
public:
    HostedEvidenceProvider(std::string providerName, std::string modelName, Uuid meetingID, HostedAnalysisClient client)
        : providerName_(std::move(providerName)),
          modelName_(std::move(modelName)),
          meetingID_(meetingID),
          client_(std::move(client)) {}

    std::string providerName() const override { return providerName_; }
    std::string modelName() const override { return modelName_; }
    std::optional<GroundedFeedbackItem> analyze(const EvidenceBundleDocument::Candidate& candidate,
                                                const std::filesystem::path& bundleDirectory,
                                                std::stop_token stop) override {
        return client_.analyzeCandidate(meetingID_, candidate, bundleDirectory, stop).feedback;
    }

private:
    std::string providerName_;
    std::string modelName_;
    Uuid meetingID_;
    HostedAnalysisClient client_;
};

// The meeting summary through the relay, keyed by the meeting the relay meters.
class HostedMeetingSummaryProvider final : public MeetingSummaryProvider {
public:
    HostedMeetingSummaryProvider(std::string providerName, std::string modelName, Uuid meetingID,
                                 HostedAnalysisClient client)
        : providerName_(std::move(providerName)),
          modelName_(std::move(modelName)),
          meetingID_(meetingID),
          client_(std::move(client)) {}

    std::string providerName() const override { return providerName_; }
    std::string modelName() const override { return modelName_; }
    HostedMeetingSummary summarize(std::string_view transcriptLines, const std::vector<std::string>& groundedActions,
                                   std::stop_token stop) override {
        return client_.summarizeMeeting(meetingID_, transcriptLines, groundedActions, stop).summary;
    }

private:
    std::string providerName_;
    std::string modelName_;
    Uuid meetingID_;
    HostedAnalysisClient client_;
};

}  // namespace quillmer
