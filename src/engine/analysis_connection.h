#pragma once

#include <functional>
#include <memory>

#include "analysis/evidence_analysis_provider.h"
#include "analysis/meeting_summary_provider.h"
#include "analysis/remote_analysis_plan.h"
#include "platform/user_defaults.h"

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

    // The passes a run may carry out: the approved ones, or on this computer (where nothing is sent
    // and so nothing needs approval) every pass it has a model for.
    RemoteAnalysisPasses passesToRun(const RemoteAnalysisPasses& approved) const {
        if (!route.staysOnThisComputer()) return approved;
        RemoteAnalysisPasses passes{RemoteAnalysisPass::evidence};
        if (makeSummaryProvider) passes.insert(RemoteAnalysisPass::summary);
        return passes;
    }
};

// No relay and no key: the plan explains that nothing leaves this computer, and analysis sends nothing.
inline AnalysisConnection noAnalysisConnection() { return {}; }

// The connection this build analyses with, for the app, `quillmer serve` and the CLI alike. The
// developer key when a developer build asks for it; else a model server on this computer when the
// settings name one; else the relay when it is configured (connected or not); else the transcript
// rules, on this computer. The one place where the route becomes a provider.
AnalysisConnection configuredAnalysisConnection();
// The same choice with the settings given.
AnalysisConnection analysisConnectionWithSettings(const UserDefaults& settings);

}  // namespace quillmer
