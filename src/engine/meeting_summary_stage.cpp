#include "engine/meeting_summary_stage.h"

#include <chrono>

#include "capture/session_progress_files.h"
#include "core/atomic_file.h"
#include "core/error.h"
#include "core/safe_path.h"
#include "evidence/evidence_bundle_document.h"

namespace quillmer {

namespace {

struct SummaryInputs {
    Uuid meetingID;
    LocalTranscript transcript;
    std::vector<GroundedFeedbackItem> feedback;
};

// The export's own copy of the transcript, found through evidence.json and confined to the export.
SummaryInputs readInputs(const std::filesystem::path& exportFolder) {
    const auto evidence = EvidenceBundleDocument::fromJSON(parseJSON(readWholeFile(exportFolder / kEvidenceFileName)));
    const auto transcriptFile = resolveInside(exportFolder, evidence.session.transcript.path);
    if (!transcriptFile) throw DecodingError("The export's transcript path is outside the export folder.");
    SummaryInputs inputs{evidence.session.id, readTranscript(*transcriptFile), {}};
    // Feedback only adds topics and actions: a missing or unreadable report leaves the transcript's.
    try {
        inputs.feedback =
            GroundedFeedbackReport::fromJSON(parseJSON(readWholeFile(exportFolder / kFeedbackFileName))).items;
    } catch (const std::exception&) {
    }
    return inputs;
}

Timestamp now() { return std::chrono::system_clock::now(); }

}  // namespace

MeetingSummaryDocument writeRuleBasedSummary(const std::filesystem::path& exportFolder) {
    const auto inputs = readInputs(exportFolder);
    auto document = ruleBasedSummary(inputs.transcript, inputs.feedback, now());
    writeMeetingSummary(exportFolder, document);
    return document;
}

MeetingSummaryDocument refreshSummary(const AnalysisConnection& connection, const std::filesystem::path& exportFolder,
                                      std::stop_token stop) {
    const auto inputs = readInputs(exportFolder);
    std::string failure;
    try {
        if (!connection.makeSummaryProvider)
            throw Error(planRemoteAnalysis({}, std::nullopt, std::nullopt, connection.route)
                            .blockedDetail.value_or("No analysis route is available, so nothing was sent."));
        const auto provider = connection.makeSummaryProvider(inputs.meetingID);
        const auto summary = provider->summarize(summaryTranscriptLines(inputs.transcript),
                                                 summaryGroundedActions(inputs.feedback), stop);
        auto document = meetingSummaryDocument(summary, provider->providerName(), provider->modelName(), now());
        writeMeetingSummary(exportFolder, document);
        removeSummaryDiagnostics(exportFolder);
        return document;
    } catch (const CancellationError&) {
        throw;
    } catch (const FileSystemError&) {
        throw;
    } catch (const std::exception& error) {
        failure = error.what();
    }
    writeSummaryDiagnostics(exportFolder, now(), failure);
    auto document = ruleBasedSummary(inputs.transcript, inputs.feedback, now());
    writeMeetingSummary(exportFolder, document);
    return document;
}

std::optional<MeetingSummaryDocument> ensureSummary(const AnalysisConnection& connection,
                                                    const std::filesystem::path& exportFolder,
                                                    const RemoteAnalysisPasses& approved, std::stop_token stop) {
    if (connection.passesToRun(approved).contains(RemoteAnalysisPass::summary)) {
        try {
            return refreshSummary(connection, exportFolder, stop);
        } catch (const std::exception&) {
        }
    }
    try {
        return writeRuleBasedSummary(exportFolder);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

}  // namespace quillmer
