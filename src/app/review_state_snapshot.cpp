#include "app/review_state_snapshot.h"

#include <algorithm>

namespace quillmer {

namespace {

constexpr const char* kNoRelayReason =
    "This build has no production relay host configured, and a release build never falls back to the development "
    "relay.";

ReviewStage transcribingStage(const CaptureEngineState& state) {
    ReviewStage stage{"transcribing", std::nullopt, std::nullopt};
    if (const auto& progress = state.transcriptionProgress) {
        stage.detail = transcriptionPartText(*progress);
        stage.progress = progress->totalChunks < 1
                             ? 0.0
                             : std::min(1.0, static_cast<double>(progress->completedChunks) / progress->totalChunks);
    }
    return stage;
}

}  // namespace

ReviewStage deriveReviewStage(const CaptureEngineState& state) {
    if (state.isCapturing) return {"recording", std::to_string(state.frameCount) + " frames captured", std::nullopt};
    if (state.isImporting) return {"importing", "Preparing your recording…", std::nullopt};
    if (state.isTranscribing) return transcribingStage(state);
    if (state.isExtractingEvidence) return {"finding-evidence", "Matching words to the screen…", std::nullopt};
    if (state.isExporting) return {"exporting", "Preparing cited evidence…", std::nullopt};
    if (state.isAnalyzing) return {"analyzing", "Understanding the clearest moments…", std::nullopt};
    if (state.errorMessage) return {"failed", std::nullopt, std::nullopt};
    if (state.lastExportDirectory && state.feedbackCount) return {"ready", "Your review is ready.", 1.0};
    if (state.lastSessionDirectory) {
        return {"ready-to-process",
                state.transcriptSegmentCount ? "Transcript added. Ready to understand." : "Ready to understand.",
                std::nullopt};
    }
    if (state.isSyncingCloudSessions) return {"idle", "Checking for cloud meetings…", std::nullopt};
    return {"idle", std::nullopt, std::nullopt};
}

Json cloudSyncJSON(const CaptureEngineState& state) {
    Json cloud = {{"configured", state.cloudSyncConfigured}};
    if (!state.cloudSyncConfigured) cloud["phase"] = "unavailable";
    else if (state.isSyncingCloudSessions) cloud["phase"] = "syncing";
    else if (state.cloudSyncErrorMessage) cloud["phase"] = "failed";
    else cloud["phase"] = "idle";
    putJSON(cloud, "lastSyncedAt", state.lastCloudSyncAt);
    if (state.lastCloudImportCount > 0) cloud["importedCount"] = state.lastCloudImportCount;
    if (state.cloudSyncErrorMessage && !state.isSyncingCloudSessions) cloud["error"] = *state.cloudSyncErrorMessage;
    cloud["connectAvailable"] = state.cloudConnectAvailable;
    if (!state.cloudConnectAvailable) cloud["connectUnavailableReason"] = kNoRelayReason;
    return cloud;
}

Json makeStateSnapshot(const CaptureEngineState& state, const SnapshotExtras& extras) {
    const ReviewStage stage = deriveReviewStage(state);
    Json snapshot = {{"available", true}, {"stage", stage.stage}, {"captureRole", "recorder"}};
    if (state.lastSessionDirectory) snapshot["sessionName"] = state.lastSessionDirectory->filename().string();
    putJSON(snapshot, "progress", stage.progress);
    putJSON(snapshot, "detail", stage.detail);
    putJSON(snapshot, "transcriptSegments", state.transcriptSegmentCount);
    putJSON(snapshot, "evidenceMoments", state.candidateCount);
    putJSON(snapshot, "groundedFeedback", state.feedbackCount);
    if (state.unfinishedAnalysisCount > 0) snapshot["unfinishedAnalysis"] = state.unfinishedAnalysisCount;
    Json recent = Json::array();
    for (const auto& session : state.recentSessions)
        recent.push_back({{"id", session.id}, {"title", session.title}, {"detail", session.detail}});
    snapshot["recentSessions"] = std::move(recent);
    snapshot["cloudSync"] = cloudSyncJSON(state);
    putJSON(snapshot, "error", state.errorMessage);
    putJSON(snapshot, "capturePromptID", state.capturePromptID);
    snapshot["update"] = extras.update;
    snapshot["disclosure"] = extras.disclosure;
    snapshot["consent"] = extras.consent;
    if (!extras.remoteTranscription.is_null()) snapshot["remoteTranscription"] = extras.remoteTranscription;
    if (extras.remoteAnalysisApproved) {
        snapshot["remoteAnalysisApproved"] = *extras.remoteAnalysisApproved;
        snapshot["remoteAnalysisApprovedPasses"] = extras.remoteAnalysisApprovedPasses;
    }
    return snapshot;
}

}  // namespace quillmer
