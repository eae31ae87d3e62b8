#include <gtest/gtest.h>

#include <thread>

#include "engine/local_pipeline.h"
#include "support/engine_test_fixture.h"
#include "core/error.h"

namespace quillmer::testing {
namespace {

const char* const kNotAvailable = "This version of Quillmer cannot do that yet.";

class StageTest : public EngineTest {
protected:
    // Export and analysis succeed (set before the engine is made: it takes its stages then).
    void useWorkingExportAndAnalysis(int unfinishedAnalyses) {
        stages.exportEvidence = [this](const auto&, std::stop_token) { return root / "Exports" / "bundle"; };
        stages.analyze = [unfinishedAnalyses](const auto&, const auto&, const auto&, std::stop_token) {
            AnalysisOutcome outcome;
            outcome.feedbackCount = 3, outcome.unfinishedAnalysisCount = unfinishedAnalyses, outcome.includedFeedbackIDs = {"A"};
            return outcome;
        };
    }

    void recordExportAndAnalyze() {
        recordShortSession();
        await([&](auto done) { engine().exportEvidence(done); });
        await([&](auto done) { engine().analyze({RemoteAnalysisPass::evidence}, done); });
    }

    // Starts a transcription that blocks on `gate` and returns once its flag is up.
    void startBlockedTranscription(Gate& gate, bool* finished) {
        stages.transcribe = [&gate](const auto&, const auto& progress, std::stop_token stop) {
            progress(TranscriptionProgress{1, 4});
            if (!gate.wait(stop)) throw CancellationError();
            return 12;
        };
        if (!state().lastSessionDirectory) recordShortSession();
        engine().transcribe([finished] { *finished = true; });
        ASSERT_TRUE(state().isTranscribing);
    }
};

// Without a current session a stage does nothing and finishes at once; without its work each
// fails with its own prefix and lowers its flag.
TEST_F(StageTest, StagesNeedASessionAndFailWithTheirOwnPrefix) {
    const std::pair<std::function<void(CaptureEngine::Completion)>, std::string> cases[] = {
        {[this](auto done) { engine().transcribe(done); }, "Transcription could not complete: "},
        {[this](auto done) { engine().extractEvidence(done); }, "Evidence extraction could not complete: "},
        {[this](auto done) { engine().exportEvidence(done); }, "Evidence export could not complete: "},
        {[this](auto done) { engine().importTranscript("/tmp/meeting.vtt", done); }, "Transcript import could not complete: "},
        {[this](auto done) { engine().importRecording("/tmp/meeting.mov", done); }, "Recording import could not complete: "},
    };
    int notifications = 0;
    engine().addObserver([&] { ++notifications; });
    for (size_t i = 0; i + 1 < std::size(cases); ++i) await(cases[i].first);
    engine().analyze({RemoteAnalysisPass::evidence});
    EXPECT_EQ(notifications, 0);

    recordShortSession();
    for (const auto& [run, prefix] : cases) {
        await(run);
        EXPECT_EQ(state().errorMessage, prefix + kNotAvailable);
        EXPECT_FALSE(state().isBusy());
    }
}

TEST_F(StageTest, AnalysisWithNoRouteSendsNothingAndSaysWhy) {
    useWorkingExportAndAnalysis(0);
    stages.analyze = availableProcessingStages().analyze;
    recordExportAndAnalyze();
    EXPECT_EQ(state().errorMessage, "Evidence analysis could not complete: This build has no Quillmer relay "
                                    "configured, so there is nowhere for it to send anything. Nothing leaves this "
                                    "computer.");
    EXPECT_FALSE(state().isAnalyzing);
    EXPECT_FALSE(state().feedbackCount);
}

TEST_F(StageTest, RetryRunsOnlyWithUnfinishedAnalysesAndTheEvidencePass) {
    useWorkingExportAndAnalysis(0);
    recordExportAndAnalyze();
    int notifications = 0;
    engine().addObserver([&] { ++notifications; });
    await([&](auto done) { engine().retryAnalysis({RemoteAnalysisPass::evidence}, done); });
    EXPECT_EQ(notifications, 0);  // nothing unfinished: nothing ran

    destroyEngine();
    useWorkingExportAndAnalysis(2);
    recordExportAndAnalyze();
    // The analysis publishes the review of its report.
    ASSERT_EQ(state().unfinishedAnalysisCount, 2);
    EXPECT_EQ(std::tie(state().includedFeedbackIDs, state().lastExportDirectory, state().errorMessage),
              std::make_tuple(std::set<std::string>{"A"}, std::optional(root / "Exports" / "bundle"), std::nullopt));
    await([&](auto done) { engine().retryAnalysis({RemoteAnalysisPass::summary}, done); });
    EXPECT_FALSE(state().errorMessage);  // not approved for evidence: nothing ran

    await([&](auto done) { engine().retryAnalysis({RemoteAnalysisPass::evidence}, done); });
    EXPECT_EQ(state().errorMessage, std::string("Retry could not complete: ") + kNotAvailable);
    EXPECT_FALSE(state().isAnalyzing);
    EXPECT_EQ(state().feedbackCount, 3);  // a failed retry keeps the report it had
}

TEST_F(StageTest, ARunningStageRefusesEverythingElseThenPublishesItsResult) {
    Gate gate;
    bool finished = false;
    startBlockedTranscription(gate, &finished);
    queue.runUntil([&] { return state().transcriptionProgress.has_value(); });
    EXPECT_EQ(state().transcriptionProgress, (TranscriptionProgress{1, 4}));
    const auto before = state();
    engine().startCapture(state().displays.at(0));
    EXPECT_EQ(capture.streamsMade(), 1);  // only the stream of the earlier capture
    bool extractionDone = false;
    engine().extractEvidence([&] { extractionDone = true; });
    EXPECT_TRUE(extractionDone);
    engine().importRecording("/tmp/meeting.mov");
    engine().importTranscript("/tmp/meeting.vtt");
    engine().newSession();
    engine().restoreSession(before.lastSessionDirectory->filename().string());
    engine().deleteSession(before.lastSessionDirectory->filename().string());
    EXPECT_EQ(state(), before);

    gate.open();
    queue.runUntil([&] { return finished; });
    EXPECT_EQ(state().transcriptSegmentCount, 12);
    EXPECT_FALSE(state().isTranscribing || state().transcriptionProgress || state().errorMessage);
}

// Cancelling is silent, even when the stage then fails in its own way, and clears the flag and
// the message an earlier failure left.
TEST_F(StageTest, CancellationIsSilentAndClearsTheFlag) {
    recordShortSession();
    await([&](auto done) { engine().extractEvidence(done); });
    ASSERT_TRUE(state().errorMessage);
    Gate gate;
    bool finished = false;
    startBlockedTranscription(gate, &finished);
    EXPECT_FALSE(state().errorMessage);
    engine().cancelStage();
    queue.runUntil([&] { return finished; });
    EXPECT_FALSE(state().errorMessage || state().isTranscribing || state().transcriptionProgress ||
                 state().transcriptSegmentCount);

    destroyEngine();
    stages.extractEvidence = [](const auto&, std::stop_token stop) -> int {
        while (!stop.stop_requested()) std::this_thread::yield();
        throw Error("ffmpeg: Immediate exit requested");
    };
    finished = false;
    engine().extractEvidence([&] { finished = true; });
    engine().cancelStage();
    queue.runUntil([&] { return finished; });
    EXPECT_FALSE(state().errorMessage || state().isExtractingEvidence);
}

// A new transcript (imported or transcribed) clears everything downstream; an imported recording
// becomes the session.
TEST_F(StageTest, ImportsAndTranscriptionClearWhatTheyMakeStale) {
    useWorkingExportAndAnalysis(1);
    stages.importTranscript = [](const auto&, const auto&, std::stop_token) { return 40; };
    stages.transcribe = [](const auto&, const auto&, std::stop_token) { return 41; };
    stages.importRecording = [this](const auto&, std::stop_token) { return root / "Sessions" / "imported"; };
    recordExportAndAnalyze();
    await([&](auto done) { engine().importTranscript("/tmp/meeting.vtt", done); });
    EXPECT_EQ(state().transcriptSegmentCount, 40);
    EXPECT_FALSE(state().lastExportDirectory || state().candidateCount || state().feedbackCount ||
                 state().unfinishedAnalysisCount || !state().includedFeedbackIDs.empty());

    await([&](auto done) { engine().exportEvidence(done); });
    await([&](auto done) { engine().transcribe(done); });
    EXPECT_EQ(state().transcriptSegmentCount, 41);
    EXPECT_FALSE(state().lastExportDirectory || state().candidateCount);

    await([&](auto done) { engine().exportEvidence(done); });
    ASSERT_TRUE(state().lastExportDirectory);
    await([&](auto done) { engine().importRecording("/tmp/meeting.mov", done); });
    EXPECT_EQ(state().lastSessionDirectory, root / "Sessions" / "imported");
    EXPECT_FALSE(state().lastExportDirectory || state().transcriptSegmentCount);
}

class LocalPipelineTest : public EngineTest {
protected:
    LocalPipelineTest() {
        stages.transcribe = [this](const auto&, const auto&, std::stop_token) -> int {
            ran.push_back("transcribe");
            if (transcriptionCancelled) throw CancellationError();
            return 4;
        };
        stages.extractEvidence = [this](const auto&, std::stop_token) -> int {
            ran.push_back("extract");
            if (extractionFails) throw Error("no frames");
            return 2;
        };
        stages.exportEvidence = [this](const auto&, std::stop_token) { return ran.push_back("export"), root / "Exports" / "bundle"; };
    }

    // The stages that started, and clears what ran.
    std::vector<LocalStage> runPipeline() {
        std::vector<LocalStage> started;
        ran.clear();
        await([&](auto done) { runMissingLocalStages(engine(), [&](LocalStage s) { started.push_back(s); }, done); });
        return started;
    }

    std::vector<std::string> ran;
    bool transcriptionCancelled = false, extractionFails = false;
};

// Nothing runs without a session; a cancellation ends a run silently, a failure stops it with its
// message, and the next run resumes at the stage that did not finish, in order, once only.
TEST_F(LocalPipelineTest, RunsOnlyMissingStagesInOrderAndResumesWhereARunStopped) {
    EXPECT_TRUE(runPipeline().empty());
    EXPECT_TRUE(ran.empty());
    recordShortSession();
    transcriptionCancelled = true;
    EXPECT_EQ(runPipeline(), std::vector{LocalStage::transcription});
    EXPECT_FALSE(state().errorMessage || state().transcriptSegmentCount);

    transcriptionCancelled = false;
    extractionFails = true;
    EXPECT_EQ(runPipeline(), (std::vector{LocalStage::transcription, LocalStage::evidenceExtraction}));
    EXPECT_EQ(ran, (std::vector<std::string>{"transcribe", "extract"}));
    EXPECT_EQ(state().errorMessage, "Evidence extraction could not complete: no frames");

    extractionFails = false;
    EXPECT_EQ(runPipeline(), (std::vector{LocalStage::evidenceExtraction, LocalStage::evidenceExport}));
    EXPECT_EQ(ran, (std::vector<std::string>{"extract", "export"}));
    EXPECT_FALSE(state().errorMessage);
    EXPECT_EQ(state().candidateCount, 2);
    EXPECT_EQ(state().lastExportDirectory, root / "Exports" / "bundle");
    EXPECT_TRUE(runPipeline().empty());
    EXPECT_TRUE(ran.empty());
}

}  // namespace
}  // namespace quillmer::testing
