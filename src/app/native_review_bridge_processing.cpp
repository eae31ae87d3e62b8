// "capture.process" and "capture.retry": the local stages of the current session, each skipped when
// its result exists, then the consent record into the export and the analysis gate; and the
// "analysis.*" methods, which show what analysis would send and record the user's answer.
#include <filesystem>

#include "analysis/remote_analysis_plan.h"
#include "app/native_bridge_error.h"
#include "app/native_review_bridge.h"
#include "engine/local_pipeline.h"
#include "engine/meeting_summary_stage.h"
#include "capture/session_folder.h"
#include "core/atomic_file.h"

namespace quillmer {

struct NativeReviewBridge::ProcessingTask {
    Reply reply;
    bool cancelled = false;
};

std::string NativeReviewBridge::currentSessionID() const {
    const auto& session = capture_.state().lastSessionDirectory;
    if (!session) throw NativeBridgeError(NativeBridgeErrorCase::missingSession);
    return session->filename().string();
}

void NativeReviewBridge::afterLocalStages(const Reply& reply,
                                          std::function<void(const std::shared_ptr<ProcessingTask>&)> step) {
    // A new run replaces the remembered one without cancelling it.
    auto task = std::make_shared<ProcessingTask>(ProcessingTask{reply});
    processingTask_ = task;
    currentSessionID();
    capture_.clearErrorMessage();
    runMissingLocalStages(capture_, {}, then(task->reply, [this, task, step = std::move(step)] {
                              if (task->reply->isSettled()) return;
                              requireNoEngineError();
                              if (task->cancelled) throw CancellationError();
                              step(task);
                          }));
}

void NativeReviewBridge::captureProcess(const Json&, const Reply& reply) {
    afterLocalStages(reply, [this](const auto& task) { finishProcessing(task); });
}

void NativeReviewBridge::finishProcessing(const std::shared_ptr<ProcessingTask>& task) {
    const auto& state = capture_.state();
    if (!state.lastExportDirectory) throw NativeBridgeError(NativeBridgeErrorCase::missingExport);
    const auto exportFolder = *state.lastExportDirectory;
    if (state.lastSessionDirectory) {
        const auto consent = *state.lastSessionDirectory / kConsentFileName;
        std::error_code ignored;
        if (std::filesystem::is_regular_file(consent, ignored))
            writeFileAtomically(exportFolder / kConsentFileName, readWholeFile(consent));
    }
    const std::string sessionID = currentSessionID();
    const auto approved = analysisAuthorizer_.approvedPasses(sessionID);
    // Approved, or analysed on this computer where nothing is sent and nothing needs approval.
    if (capture_.analysisPassesToRun(approved).contains(RemoteAnalysisPass::evidence)) {
        // The pipeline skips everything already done, so this runs only the analysis, and only
        // when the session has no report yet.
        runProcessingStages(capture_, approved, {}, then(task->reply, [this, task, exportFolder] {
                                if (task->reply->isSettled()) return;
                                requireNoEngineError();
                                if (task->cancelled) throw CancellationError();
                                task->reply->succeed(handOutBundle(exportFolder));
                            }));
        return;
    }
    // Only the summary approved, or a decline: the run ends with the summary step (a model only for
    // an approved summary pass, the rule-based summary otherwise) and the evidence is the review.
    if (!analysisAuthorizer_.decision(sessionID).has_value())
        throw NativeBridgeError(NativeBridgeErrorCase::analysisNotApproved);
    runProcessingStages(capture_, approved, {}, then(task->reply, [this, task, exportFolder] {
                            if (task->reply->isSettled()) return;
                            requireNoEngineError();
                            if (task->cancelled) throw CancellationError();
                            task->reply->succeed(handOutBundle(exportFolder));
                        }));
}

void NativeReviewBridge::summaryRefresh(const Json& args, const Reply& reply) {
    const auto bundle = openBundles_.find(args[0].get<std::string>());
    if (bundle == openBundles_.end()) throw NativeBridgeError(NativeBridgeErrorCase::missingExport);
    const auto folder = bundle->second;
    const auto answer = [folder](const Reply& r) {
        r->succeed(parseJSON(readWholeFile(folder / kMeetingSummaryJSONFileName)));
    };
    // The current meeting's approvals decide whether a model is asked; any other bundle gets the rules.
    if (capture_.state().lastExportDirectory != folder) {
        writeRuleBasedSummary(folder);
        return answer(reply);
    }
    capture_.summarize(analysisAuthorizer_.approvedPasses(currentSessionID()), then(reply, [this, reply, answer] {
                           requireNoEngineError();
                           answer(reply);
                       }));
}

void NativeReviewBridge::captureRetry(const Json&, const Reply& reply) {
    auto task = std::make_shared<ProcessingTask>(ProcessingTask{reply});
    processingTask_ = task;
    const std::string sessionID = currentSessionID();
    const auto exportFolder = capture_.state().lastExportDirectory;
    if (!exportFolder) throw NativeBridgeError(NativeBridgeErrorCase::missingExport);
    capture_.clearErrorMessage();
    const auto approved = analysisAuthorizer_.approvedPasses(sessionID);
    // The summary follows the retried analysis, as it follows the first one.
    capture_.retryAnalysis(approved, then(reply, [this, task, approved, folder = *exportFolder] {
                               if (task->reply->isSettled()) return;
                               requireNoEngineError();
                               if (task->cancelled) throw CancellationError();
                               capture_.summarize(approved, then(task->reply, [this, task, folder] {
                                                      if (task->reply->isSettled()) return;
                                                      task->reply->succeed(handOutBundle(folder));
                                                  }));
                           }));
}

void NativeReviewBridge::captureCancel(const Json&, const Reply& reply) {
    if (processingTask_ && !processingTask_->reply->isSettled()) {
        processingTask_->cancelled = true;
        capture_.cancelStage();
    }
    Json snapshot = stateSnapshot();
    snapshot["detail"] = "Stopping safely…";
    reply->succeed(snapshot);
}

void NativeReviewBridge::analysisPlan(const Json&, const Reply& reply) {
    afterLocalStages(reply, [this](const auto& task) { task->reply->succeed(capture_.analysisPlan().toBridgeJSON()); });
}

void NativeReviewBridge::analysisApprove(const Json& args, const Reply& reply) {
    const Json approval = args.empty() ? Json() : args[0];
    const auto invalid = [] { return NativeBridgeError(NativeBridgeErrorCase::invalidApproval); };
    if (!approval.is_object() || !approval.contains("sessionID") || !approval["sessionID"].is_string() ||
        !approval.contains("passes"))
        throw invalid();
    const auto passes = parseRemoteAnalysisPasses(approval["passes"]);
    if (!passes) throw invalid();
    analysisAuthorizer_.record(approval["sessionID"].get<std::string>(), *passes);
    reply->succeed(stateSnapshot());
}

void NativeReviewBridge::analysisDecline(const Json&, const Reply& reply) {
    analysisAuthorizer_.record(currentSessionID(), {});
    reply->succeed(stateSnapshot());
}

}  // namespace quillmer
