#include "engine/local_pipeline.h"

#include <memory>

namespace quillmer {

namespace {

struct PipelineRun : std::enable_shared_from_this<PipelineRun> {
    CaptureEngine& engine;
    RemoteAnalysisPasses approved;
    bool summarize;
    std::function<void(LocalStage)> starting;
    std::function<void()> done;

    PipelineRun(CaptureEngine& e, RemoteAnalysisPasses a, bool withSummary, std::function<void(LocalStage)> s,
                std::function<void()> d)
        : engine(e), approved(std::move(a)), summarize(withSummary), starting(std::move(s)), done(std::move(d)) {}

    static bool hasResult(const CaptureEngineState& state, LocalStage stage) {
        switch (stage) {
            case LocalStage::transcription: return state.transcriptSegmentCount.has_value();
            case LocalStage::evidenceExtraction: return state.candidateCount.has_value();
            case LocalStage::evidenceExport: return state.lastExportDirectory.has_value();
            case LocalStage::evidenceAnalysis: return state.feedbackCount.has_value();
            case LocalStage::meetingSummary: return state.lastExportDirectory.has_value();
        }
        return true;
    }

    void run(LocalStage stage) {
        const auto& state = engine.state();
        if (!state.lastSessionDirectory) return finish();
        // The summary is written again on every run: approvals may have changed since the last.
        if (stage != LocalStage::meetingSummary && hasResult(state, stage)) return next(stage);
        if (starting) starting(stage);
        auto self = shared_from_this();
        auto after = [self, stage] {
            // Failed or cancelled: nothing after it may run, even when the stage finished its
            // work before it saw the stop.
            const auto& now = self->engine.state();
            if (!hasResult(now, stage) || now.errorMessage || self->engine.lastStageWasStopped())
                return self->finish();
            self->next(stage);
        };
        switch (stage) {
            case LocalStage::transcription: return engine.transcribe(after);
            case LocalStage::evidenceExtraction: return engine.extractEvidence(after);
            case LocalStage::evidenceExport: return engine.exportEvidence(after);
            case LocalStage::evidenceAnalysis: return engine.analyze(approved, after);
            case LocalStage::meetingSummary: return engine.summarize(approved, after);
        }
    }

    void next(LocalStage stage) {
        switch (stage) {
            case LocalStage::transcription: return run(LocalStage::evidenceExtraction);
            case LocalStage::evidenceExtraction: return run(LocalStage::evidenceExport);
            case LocalStage::evidenceExport:
                // Filling in missing stages (opening a meeting, making its plan) never starts an
                // analysis; a processing run does when approved or when it stays on this computer.
                if (summarize && engine.analysisPassesToRun(approved).contains(RemoteAnalysisPass::evidence))
                    return run(LocalStage::evidenceAnalysis);
                return summaryOrFinish();
            case LocalStage::evidenceAnalysis: return summaryOrFinish();
            case LocalStage::meetingSummary: return finish();
        }
    }

    // Only a processing run writes the summary; filling in missing local stages leaves it alone.
    void summaryOrFinish() { return summarize ? run(LocalStage::meetingSummary) : finish(); }

    void finish() {
        if (done) done();
    }
};

}  // namespace

void runMissingLocalStages(CaptureEngine& engine, std::function<void(LocalStage)> starting,
                           std::function<void()> done) {
    std::make_shared<PipelineRun>(engine, RemoteAnalysisPasses{}, false, std::move(starting), std::move(done))
        ->run(LocalStage::transcription);
}

void runProcessingStages(CaptureEngine& engine, const RemoteAnalysisPasses& approved,
                         std::function<void(LocalStage)> starting, std::function<void()> done) {
    std::make_shared<PipelineRun>(engine, approved, true, std::move(starting), std::move(done))
        ->run(LocalStage::transcription);
}

}  // namespace quillmer
