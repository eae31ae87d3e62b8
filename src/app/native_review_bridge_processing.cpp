// "capture.process": transcription, evidence extraction and export of the current session, each
// skipped when its result exists, then the consent record into the export and the analysis gate.
#include <filesystem>

#include "app/native_bridge_error.h"
#include "app/native_review_bridge.h"
#include "engine/local_pipeline.h"
#include "capture/session_folder.h"
#include "core/atomic_file.h"

namespace quillmer {

struct NativeReviewBridge::ProcessingTask {
    Reply reply;
    bool cancelled = false;
};

void NativeReviewBridge::captureProcess(const Json&, const Reply& reply) {
    // A new run replaces the remembered one without cancelling it.
    auto task = std::make_shared<ProcessingTask>(ProcessingTask{reply});
    processingTask_ = task;
    if (!capture_.state().lastSessionDirectory) throw NativeBridgeError(NativeBridgeErrorCase::missingSession);
    capture_.clearErrorMessage();
    runMissingLocalStages(capture_, {}, then(task->reply, [this, task] { finishProcessing(task); }));
}

void NativeReviewBridge::finishProcessing(const std::shared_ptr<ProcessingTask>& task) {
    if (task->reply->isSettled()) return;
    requireNoEngineError();
    if (task->cancelled) throw CancellationError();
    const auto& state = capture_.state();
    if (!state.lastExportDirectory) throw NativeBridgeError(NativeBridgeErrorCase::missingExport);
    if (state.lastSessionDirectory) {
        const auto consent = *state.lastSessionDirectory / kConsentFileName;
        std::error_code ignored;
        if (std::filesystem::is_regular_file(consent, ignored))
            writeFileAtomically(*state.lastExportDirectory / kConsentFileName, readWholeFile(consent));
    }
    // No meeting can be approved or declined for analysis in this build, so the run ends here
    // with its evidence exported and reviewable.
    throw NativeBridgeError(NativeBridgeErrorCase::analysisNotApproved);
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

}  // namespace quillmer
