#include "engine/evidence_analysis_stage.h"

#include "capture/session_progress_files.h"
#include "core/atomic_file.h"
#include "core/error.h"
#include "core/json.h"
#include "review/implementation_brief.h"
#include "review/review_state.h"

namespace quillmer {

AnalysisOutcome analyzeExportedEvidence(const AnalysisConnection& connection, const std::filesystem::path& exportFolder,
                                        EvidenceAnalysisScope scope, std::stop_token stop,
                                        std::function<void(const CandidateOutcome&, size_t, size_t)> progress) {
    if (!connection.makeProvider)
        throw Error(planRemoteAnalysis({}, std::nullopt, std::nullopt, connection.route).blockedDetail.value_or(
            "No analysis route is available, so nothing was sent."));
    EvidenceAnalysisRunOptions options;
    options.progress = std::move(progress);
    if (scope == EvidenceAnalysisScope::firstCandidates) options.limit = kAnalysedCandidateLimit;
    else options.candidateIDs = unfinishedCandidateIDs(exportFolder);

    const Uuid meetingID = EvidenceBundleDocument::fromJSON(parseJSON(readWholeFile(exportFolder / kEvidenceFileName))).session.id;
    const auto provider = connection.makeProvider(meetingID);
    const auto report = EvidenceAnalysisRunner(*provider).run(exportFolder, options, stop);
    AnalysisOutcome outcome;
    outcome.feedbackCount = static_cast<int>(report.items.size());
    outcome.unfinishedAnalysisCount =
        readAnalysisDiagnosticCount(exportFolder / kAnalysisDiagnosticsFileName).value_or(0);
    // Then the review list and, when something is included, the brief for the coding agent.
    const auto state = syncReviewState(report, exportFolder);
    outcome.includedFeedbackIDs = state.includedFeedbackIDs;
    outcome.reviewFeedback = loadReviewMoments(exportFolder);
    try {
        outcome.implementationBriefURL = generateImplementationBrief(exportFolder);
    } catch (const ImplementationBriefError&) {
        // Nothing reached the threshold: the user chooses on the review page.
    }
    return outcome;
}

}  // namespace quillmer
