#include "engine/local_pipeline.h"

#include <gtest/gtest.h>

#include "support/engine_test_fixture.h"

namespace quillmer::testing {
namespace {

class LocalPipelineTest : public EngineTest {
protected:
    LocalPipelineTest() {
        stages.transcribe = [this](const auto&, const auto&, std::stop_token) { return ran.push_back("transcribe"), 4; };
        stages.extractEvidence = [this](const auto&, std::stop_token) { return ran.push_back("extract"), 2; };
        stages.exportEvidence = [this](const auto&, std::stop_token) {
            ran.push_back("export");
            return root / "Exports" / "bundle";
        };
    }

    std::vector<LocalStage> runPipeline() {
        std::vector<LocalStage> started;
        await([&](auto done) { runMissingLocalStages(engine(), [&](LocalStage s) { started.push_back(s); }, done); });
        return started;
    }

    std::vector<std::string> ran;
};

TEST_F(LocalPipelineTest, RunsEveryMissingStageInOrderAndThenNothing) {
    recordShortSession();
    EXPECT_EQ(runPipeline(), (std::vector{LocalStage::transcription, LocalStage::evidenceExtraction,
                                          LocalStage::evidenceExport}));
    EXPECT_EQ(ran, (std::vector<std::string>{"transcribe", "extract", "export"}));
    EXPECT_EQ(state().candidateCount, 2);
    EXPECT_EQ(state().lastExportDirectory, root / "Exports" / "bundle");
    ran.clear();
    EXPECT_TRUE(runPipeline().empty());
    EXPECT_TRUE(ran.empty());
}

TEST_F(LocalPipelineTest, StopsAtAFailureAndResumesThereNextTime) {
    bool extractionFails = true;
    stages.extractEvidence = [&](const auto&, std::stop_token) -> int {
        ran.push_back("extract");
        if (extractionFails) throw Error("no frames");
        return 2;
    };
    recordShortSession();
    runPipeline();
    EXPECT_EQ(ran, (std::vector<std::string>{"transcribe", "extract"}));
    EXPECT_EQ(state().errorMessage, "Evidence extraction could not complete: no frames");

    extractionFails = false;
    ran.clear();
    EXPECT_EQ(runPipeline(), (std::vector{LocalStage::evidenceExtraction, LocalStage::evidenceExport}));
    EXPECT_EQ(ran, (std::vector<std::string>{"extract", "export"}));
    EXPECT_FALSE(state().errorMessage);
}

TEST_F(LocalPipelineTest, ACancelledStageEndsTheRunSilently) {
    stages.transcribe = [this](const auto&, const auto&, std::stop_token) -> int {
        ran.push_back("transcribe");
        throw CancellationError();
    };
    recordShortSession();
    runPipeline();
    EXPECT_EQ(ran, std::vector<std::string>{"transcribe"});
    EXPECT_FALSE(state().errorMessage);
    EXPECT_FALSE(state().transcriptSegmentCount);
}

TEST_F(LocalPipelineTest, WithoutASessionNothingRuns) {
    EXPECT_TRUE(runPipeline().empty());
    EXPECT_TRUE(ran.empty());
}

}  // namespace
}  // namespace quillmer::testing
