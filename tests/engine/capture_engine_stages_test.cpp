#include <gtest/gtest.h>

#include <thread>

#include "engine/engine_test_fixture.h"
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
            outcome.feedbackCount = 3;
            outcome.unfinishedAnalysisCount = unfinishedAnalyses;
            outcome.includedFeedbackIDs = {"A"};
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

TEST_F(StageTest, StagesWithoutTheirWorkFailWithTheirOwnPrefix) {
    recordShortSession();
    struct Case {
        std::function<void(CaptureEngine&, CaptureEngine::Completion)> run;
        std::string prefix;
    };
    const std::vector<Case> cases = {
        {[](auto& e, auto done) { e.transcribe(done); }, "Transcription could not complete: "},
        {[](auto& e, auto done) { e.extractEvidence(done); }, "Evidence extraction could not complete: "},
        {[](auto& e, auto done) { e.exportEvidence(done); }, "Evidence export could not complete: "},
        {[](auto& e, auto done) { e.importRecording("/tmp/meeting.mov", done); },
         "Recording import could not complete: "},
        {[](auto& e, auto done) { e.importTranscript("/tmp/meeting.vtt", done); },
         "Transcript import could not complete: "},
    };
    for (const auto& c : cases) {
        await([&](auto done) { c.run(engine(), done); });
        EXPECT_EQ(state().errorMessage, c.prefix + kNotAvailable);
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
    useWorkingExportAndAnalysis(2);
    recordExportAndAnalyze();
    ASSERT_EQ(state().unfinishedAnalysisCount, 2);
    await([&](auto done) { engine().retryAnalysis({RemoteAnalysisPass::summary}, done); });
    EXPECT_FALSE(state().errorMessage);  // not approved for evidence: nothing ran

    await([&](auto done) { engine().retryAnalysis({RemoteAnalysisPass::evidence}, done); });
    EXPECT_EQ(state().errorMessage, std::string("Retry could not complete: ") + kNotAvailable);
    EXPECT_FALSE(state().isAnalyzing);
    EXPECT_EQ(state().feedbackCount, 3);  // a failed retry keeps the report it had
}

TEST_F(StageTest, RetryWithNothingUnfinishedDoesNothing) {
    useWorkingExportAndAnalysis(0);
    recordExportAndAnalyze();
    int notifications = 0;
    engine().addObserver([&] { ++notifications; });
    await([&](auto done) { engine().retryAnalysis({RemoteAnalysisPass::evidence}, done); });
    EXPECT_EQ(notifications, 0);
}

TEST_F(StageTest, AnalysisPublishesTheReviewOfTheReport) {
    useWorkingExportAndAnalysis(1);
    recordExportAndAnalyze();
    EXPECT_EQ(state().feedbackCount, 3);
    EXPECT_EQ(state().unfinishedAnalysisCount, 1);
    EXPECT_EQ(state().includedFeedbackIDs, (std::set<std::string>{"A"}));
    EXPECT_EQ(state().lastExportDirectory, root / "Exports" / "bundle");
    EXPECT_FALSE(state().errorMessage);
}

TEST_F(StageTest, StagesNeedACurrentSession) {
    int notifications = 0;
    engine().addObserver([&] { ++notifications; });
    bool called = false;
    engine().transcribe([&] { called = true; });
    EXPECT_TRUE(called);  // finished at once
    engine().exportEvidence();
    engine().analyze({RemoteAnalysisPass::evidence});
    engine().importTranscript("/tmp/x.vtt");
    EXPECT_EQ(notifications, 0);
}

TEST_F(StageTest, SuccessPublishesTheResultAndProgressWhileRunning) {
    Gate gate;
    bool finished = false;
    startBlockedTranscription(gate, &finished);
    queue.runUntil([&] { return state().transcriptionProgress.has_value(); });
    EXPECT_EQ(state().transcriptionProgress, (TranscriptionProgress{1, 4}));
    gate.open();
    queue.runUntil([&] { return finished; });
    EXPECT_EQ(state().transcriptSegmentCount, 12);
    EXPECT_FALSE(state().isTranscribing);
    EXPECT_FALSE(state().transcriptionProgress);
    EXPECT_FALSE(state().errorMessage);
}

TEST_F(StageTest, WhileAStageRunsEveryOtherOperationIsRefused) {
    Gate gate;
    bool finished = false;
    startBlockedTranscription(gate, &finished);
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
}

TEST_F(StageTest, CancellationIsSilentAndClearsTheFlag) {
    // An earlier failure leaves a message that the next stage clears when it starts.
    recordShortSession();
    await([&](auto done) { engine().extractEvidence(done); });
    ASSERT_TRUE(state().errorMessage);

    Gate gate;
    bool finished = false;
    startBlockedTranscription(gate, &finished);
    EXPECT_FALSE(state().errorMessage);
    engine().cancelStage();
    queue.runUntil([&] { return finished; });
    EXPECT_FALSE(state().errorMessage);
    EXPECT_FALSE(state().isTranscribing);
    EXPECT_FALSE(state().transcriptionProgress);
    EXPECT_FALSE(state().transcriptSegmentCount);
}

TEST_F(StageTest, ACancelledStageThatFailsOtherwiseIsStillSilent) {
    stages.extractEvidence = [](const auto&, std::stop_token stop) -> int {
        while (!stop.stop_requested()) std::this_thread::yield();
        throw Error("ffmpeg: Immediate exit requested");
    };
    recordShortSession();
    bool finished = false;
    engine().extractEvidence([&] { finished = true; });
    engine().cancelStage();
    queue.runUntil([&] { return finished; });
    EXPECT_FALSE(state().errorMessage);
    EXPECT_FALSE(state().isExtractingEvidence);
}

TEST_F(StageTest, ANewTranscriptFromImportOrTranscriptionClearsEverythingDownstream) {
    useWorkingExportAndAnalysis(1);
    stages.importTranscript = [](const auto&, const auto&, std::stop_token) { return 40; };
    stages.transcribe = [](const auto&, const auto&, std::stop_token) { return 41; };
    recordExportAndAnalyze();
    ASSERT_TRUE(state().lastExportDirectory);
    await([&](auto done) { engine().importTranscript("/tmp/meeting.vtt", done); });
    EXPECT_EQ(state().transcriptSegmentCount, 40);
    EXPECT_FALSE(state().lastExportDirectory);
    EXPECT_FALSE(state().candidateCount);
    EXPECT_FALSE(state().feedbackCount);
    EXPECT_EQ(state().unfinishedAnalysisCount, 0);
    EXPECT_TRUE(state().includedFeedbackIDs.empty());

    await([&](auto done) { engine().exportEvidence(done); });
    await([&](auto done) { engine().transcribe(done); });
    EXPECT_EQ(state().transcriptSegmentCount, 41);
    EXPECT_FALSE(state().lastExportDirectory);
}

TEST_F(StageTest, RecordingImportMakesTheNewFolderCurrent) {
    useWorkingExportAndAnalysis(1);
    stages.importRecording = [this](const auto&, std::stop_token) { return root / "Sessions" / "imported"; };
    recordExportAndAnalyze();
    await([&](auto done) { engine().importRecording("/tmp/meeting.mov", done); });
    EXPECT_EQ(state().lastSessionDirectory, root / "Sessions" / "imported");
    EXPECT_FALSE(state().lastExportDirectory);
    EXPECT_FALSE(state().transcriptSegmentCount);
}

}  // namespace
}  // namespace quillmer::testing
