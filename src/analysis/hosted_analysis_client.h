#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "analysis/analysis_retry.h"
#include "analysis/grounded_feedback.h"
#include "analysis/hosted_analysis_error.h"
#include "cloud/relay_routes.h"
#include "core/json.h"
#include "core/uuid.h"
#include "evidence/evidence_bundle_document.h"
#include "platform/http_transport.h"

namespace quillmer {

// The relay's metering, carried to the caller unchanged.
struct HostedSpendUsage {
    std::optional<std::string> day;
    std::optional<int64_t> credentialUsed;
    std::optional<int64_t> credentialLimit;
    std::optional<int64_t> serviceUsed;
    std::optional<int64_t> serviceLimit;
    std::optional<std::string> resetsAt;

    bool operator==(const HostedSpendUsage&) const = default;
    static HostedSpendUsage fromJSON(const Json& json);
    Json toJSON() const;
};

struct HostedMeetingSummary {
    struct Topic {
        std::string title;
        std::string detail;
        bool operator==(const Topic&) const = default;
        static Topic fromJSON(const Json& json);
        Json toJSON() const;
    };
    std::string overview;
    std::vector<Topic> topics;
    std::vector<std::string> decisions;
    std::vector<std::string> actionItems;
    std::vector<std::string> unresolvedQuestions;

    bool operator==(const HostedMeetingSummary&) const = default;
    static HostedMeetingSummary fromJSON(const Json& json);
    Json toJSON() const;
};

struct CandidateResult {
    std::optional<GroundedFeedbackItem> feedback;  // only ever a grounded item
    std::string model;                             // empty when the relay named none
    std::optional<HostedSpendUsage> usage;
};

struct SummaryResult {
    HostedMeetingSummary summary;
    std::string model;
    std::optional<HostedSpendUsage> usage;
};

// Whole-exchange limits per request: the relay's own time limit plus time to move the bytes.
struct HostedAnalysisTimeouts {
    std::chrono::milliseconds candidate{relay_routes::evidenceCandidate.timeout + std::chrono::seconds(30)};
    std::chrono::milliseconds summary{relay_routes::meetingSummary.timeout + std::chrono::seconds(30)};
};

// The request bodies, built without a JSON tree so a candidate's frames are held once, as Base64
// in the body. Throw HostedAnalysisError (a frame path outside the bundle, frames over 16 MiB).
std::string candidateEnvelope(const Uuid& meetingID, const EvidenceBundleDocument::Candidate& candidate,
                              const std::filesystem::path& bundleDirectory);
std::string summaryEnvelope(const Uuid& meetingID, std::string_view transcriptLines,
                            const std::vector<std::string>& groundedActions);

// The error a non-2xx relay answer stands for.
HostedAnalysisError hostedErrorForResponse(const HttpResponse& response, const std::optional<Uuid>& candidateID);

// Talks to the relay's two analysis routes with the device credential. Holds no state between
// calls, so one client serves concurrent calls.
class HostedAnalysisClient {
public:
    HostedAnalysisClient(std::string endpoint, std::string credential, HttpTransport& transport,
                         RetrySleep sleep = sleepUnlessStopped, HostedAnalysisTimeouts timeouts = {});

    CandidateResult analyzeCandidate(const Uuid& meetingID, const EvidenceBundleDocument::Candidate& candidate,
                                     const std::filesystem::path& bundleDirectory, std::stop_token stop) const;
    SummaryResult summarizeMeeting(const Uuid& meetingID, std::string_view transcriptLines,
                                   const std::vector<std::string>& groundedActions, std::stop_token stop) const;

    // The body of a 2xx answer after at most three attempts; otherwise throws HostedAnalysisError,
    // the transport's own error, or CancellationError.
    std::string sendWithRetry(const HttpRequest& request, const std::optional<Uuid>& candidateID,
                              std::stop_token stop) const;

private:
    HttpRequest request(const RelayRoute& route, std::string idempotencyKey, std::chrono::milliseconds timeout,
                        std::string body) const;

    std::string endpoint_;
    std::string credential_;
    HttpTransport& transport_;
    RetrySleep sleep_;
    HostedAnalysisTimeouts timeouts_;
};

}  // namespace quillmer
