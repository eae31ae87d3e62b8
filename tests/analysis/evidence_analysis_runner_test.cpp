#include <gtest/gtest.h>

#include <algorithm>

#include "analysis/evidence_analysis_runner.h"
#include "capture/session_progress_files.h"
#include "core/atomic_file.h"
#include "support/fake_evidence_provider.h"
#include "support/temporary_folder.h"
#include "support/thrown.h"

namespace quillmer::testing {
namespace {

using Answer = FakeEvidenceProvider::Answer;

class RunnerTest : public ::testing::Test {
protected:
    GroundedFeedbackReport run(EvidenceAnalysisRunOptions options = {}) {
        return EvidenceAnalysisRunner(provider).run(folder.path(), options);
    }
    std::vector<EvidenceAnalysisDiagnostic> diagnostics() const {
        std::vector<EvidenceAnalysisDiagnostic> list;
        EXPECT_TRUE(decodeJSONValue(parseJSON(readWholeFile(folder / kAnalysisDiagnosticsFileName)), list));
        return list;
    }
    TemporaryFolder folder;
    FakeEvidenceProvider provider;
};

TEST_F(RunnerTest, TheFirstSixteenOfTwentyNeverMoreThanFourInFlightStartedInBundleOrder) {
    const auto candidates = writeEvidenceBundle(folder.path(), 20);
    provider.delay = std::chrono::milliseconds(100);
    size_t lastProgress = 0;
    EvidenceAnalysisRunOptions options{std::nullopt, 16, [&](const auto&, size_t done, size_t) { lastProgress = done; }};
    const auto report = run(options);
    EXPECT_EQ(provider.maxInFlight, 4);
    ASSERT_EQ(provider.started.size(), 16u);
    // The i-th call to begin is one of the first i + 4 candidates (one window's threads may race).
    for (size_t i = 0; i < 16; ++i) {
        const auto at = std::find_if(candidates.begin(), candidates.end(),
                                     [&](const auto& c) { return c.id == provider.started[i]; });
        EXPECT_LE(static_cast<size_t>(at - candidates.begin()), i + 3);
    }
    ASSERT_EQ(report.items.size(), 16u);
    for (size_t i = 0; i < 16; ++i) EXPECT_EQ(report.items[i].candidateID, candidates[i].id);  // meeting order
    EXPECT_EQ(lastProgress, 16u);
    EXPECT_EQ(GroundedFeedbackReport::fromJSON(parseJSON(readWholeFile(folder / "feedback.json"))).items, report.items);
    EXPECT_TRUE(diagnostics().empty());
}

TEST_F(RunnerTest, RetryReplacesOnlyTheRetriedCandidatesResults) {
    const auto c = writeEvidenceBundle(folder.path(), 3);
    provider.script = {{c[1].id, Answer::failure}};
    const auto first = run();
    ASSERT_EQ(first.items.size(), 2u);
    const auto firstDiagnostic = diagnostics().at(0);
    EXPECT_EQ(unfinishedCandidateIDs(folder.path()), std::set<Uuid>{c[1].id});

    // Failing again: the earlier items stay and the old diagnostic gives way to a fresh one.
    provider.started.clear();
    EXPECT_THROW(run({std::set<Uuid>{c[1].id}}), AllCandidatesFailedError);
    EXPECT_EQ(provider.started, std::vector<Uuid>{c[1].id});
    ASSERT_EQ(diagnostics().size(), 1u);
    EXPECT_NE(diagnostics()[0].id, firstDiagnostic.id);

    // Succeeding: appended after the kept items. Finding nothing now keeps the earlier item.
    provider.script = {{c[0].id, Answer::nothingGrounded}};
    const auto merged = run({std::set<Uuid>{c[0].id, c[1].id}});
    ASSERT_EQ(merged.items.size(), 3u);
    EXPECT_EQ(std::vector(merged.items.begin(), merged.items.begin() + 2), first.items);
    EXPECT_EQ(merged.items[2].candidateID, c[1].id);
    EXPECT_TRUE(diagnostics().empty());
}

TEST_F(RunnerTest, EveryCandidateFailingStillWritesTheThreeFiles) {
    for (const auto& candidate : writeEvidenceBundle(folder.path(), 3)) provider.script[candidate.id] = Answer::failure;
    EXPECT_STREQ(thrown<AllCandidatesFailedError>([&] { run(); }).value().what(),
                 "Gemini could not analyze any evidence candidates (3 request failures). See "
                 "analysis-diagnostics.json in the local evidence bundle.");
    EXPECT_EQ(diagnostics().size(), 3u);
    EXPECT_TRUE(std::filesystem::exists(folder / "feedback.json") && std::filesystem::exists(folder / "feedback.md"));
}

}  // namespace
}  // namespace quillmer::testing
