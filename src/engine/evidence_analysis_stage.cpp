#include "engine/evidence_analysis_stage.h"

#include "capture/session_progress_files.h"
#include "core/atomic_file.h"
#include "core/error.h"
#include "core/json.h"

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
    return outcome;
}

}  // namespace quillmer
