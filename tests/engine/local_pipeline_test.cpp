#include "engine/local_pipeline.h"

#include <gtest/gtest.h>

#include "support/engine_test_fixture.h"

namespace quillmer::testing {
namespace {

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

TEST_F(LocalPipelineTest, RunsOnlyMissingStagesInOrderAndNothingWithoutASession) {
    EXPECT_TRUE(runPipeline().empty());
    EXPECT_TRUE(ran.empty());
    recordShortSession();
    EXPECT_EQ(runPipeline(), (std::vector{LocalStage::transcription, LocalStage::evidenceExtraction,
                                          LocalStage::evidenceExport}));
    EXPECT_EQ(ran, (std::vector<std::string>{"transcribe", "extract", "export"}));
    EXPECT_EQ(state().candidateCount, 2);
    EXPECT_EQ(state().lastExportDirectory, root / "Exports" / "bundle");
    EXPECT_TRUE(runPipeline().empty());
    EXPECT_TRUE(ran.empty());
}

// A failure stops the run with its message and the next run resumes there; a cancellation ends it
// silently.
TEST_F(LocalPipelineTest, StopsAtAFailureOrCancellationAndResumesThere) {
    recordShortSession();
    transcriptionCancelled = true;
    runPipeline();
    EXPECT_EQ(ran, std::vector<std::string>{"transcribe"});
    EXPECT_FALSE(state().errorMessage || state().transcriptSegmentCount);

    transcriptionCancelled = false;
    extractionFails = true;
    runPipeline();
    EXPECT_EQ(ran, (std::vector<std::string>{"transcribe", "extract"}));
    EXPECT_EQ(state().errorMessage, "Evidence extraction could not complete: no frames");

    extractionFails = false;
    EXPECT_EQ(runPipeline(), (std::vector{LocalStage::evidenceExtraction, LocalStage::evidenceExport}));
    EXPECT_EQ(ran, (std::vector<std::string>{"extract", "export"}));
    EXPECT_FALSE(state().errorMessage);
}

}  // namespace
}  // namespace quillmer::testing
