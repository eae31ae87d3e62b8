#pragma once

#include <functional>
#include <memory>

#include "analysis/evidence_analysis_provider.h"
#include "analysis/meeting_summary_provider.h"
#include "analysis/remote_analysis_plan.h"

namespace quillmer {

// Where evidence would go for analysis: the route as the approval plan shows it, and the provider
// to analyse with, made only when an approved stage is about to send.
struct AnalysisConnection {
    AnalysisRouteChoice route;
    // Empty when the route is unavailable; may throw the route's own error (a missing key). Given
    // the meeting the evidence belongs to, which the relay meters and keys its requests by.
    std::function<std::shared_ptr<EvidenceAnalysisProvider>(const Uuid& meetingID)> makeProvider;
    // The same route's meeting summary model; empty exactly when makeProvider is.
    std::function<std::shared_ptr<MeetingSummaryProvider>(const Uuid& meetingID)> makeSummaryProvider;
};

// No relay and no key: the plan explains that nothing leaves this computer, and analysis sends nothing.
inline AnalysisConnection noAnalysisConnection() { return {}; }

// The connection this build analyses with, for the app, `quillmer serve` and the CLI alike: the
// relay configuration and credential (or the developer key) through the route selection. The one
// place where the route becomes a provider.
AnalysisConnection configuredAnalysisConnection();

}  // namespace quillmer
