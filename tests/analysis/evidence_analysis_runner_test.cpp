#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "analysis/evidence_analysis_runner.h"
#include "capture/session_progress_files.h"
#include "core/atomic_file.h"
#include "support/fake_evidence_provider.h"
#include "support/temporary_folder.h"

namespace quillmer::testing {
namespace {

using Answer = FakeEvidenceProvider::Answer;

std::vector<EvidenceAnalysisDiagnostic> diagnosticsIn(const std::filesystem::path& bundle) {
    std::vector<EvidenceAnalysisDiagnostic> diagnostics;
    EXPECT_TRUE(decodeJSONValue(parseJSON(readWholeFile(bundle / kAnalysisDiagnosticsFileName)), diagnostics));
    return diagnostics;
}

class RunnerTest : public ::testing::Test {
protected:
    GroundedFeedbackReport run(EvidenceAnalysisRunOptions options = {}) {
        return EvidenceAnalysisRunner(provider).run(folder.path(), options);
    }
    TemporaryFolder folder;
    FakeEvidenceProvider provider;
};

TEST_F(RunnerTest, NeverMoreThanFourCallsInFlightAndStartedInBundleOrder) {
    const auto candidates = writeEvidenceBundle(folder.path(), 10);
    provider.delay = std::chrono::milliseconds(100);
    std::vector<size_t> progress;
    EvidenceAnalysisRunOptions options;
    options.progress = [&](const CandidateOutcome&, size_t finished, size_t total) {
        progress.push_back(finished);
        EXPECT_EQ(total, 10u);
    };
    const auto report = run(options);
    EXPECT_EQ(provider.maxInFlight, 4);
    ASSERT_EQ(provider.started.size(), 10u);
    // Started in bundle order: the i-th call to begin is one of the first i + 4 candidates (the
    // threads of one window may reach the provider in any order).
    for (size_t i = 0; i < provider.started.size(); ++i) {
        const auto position = std::find_if(candidates.begin(), candidates.end(),
                                           [&](const auto& c) { return c.id == provider.started[i]; }) -
                              candidates.begin();
        EXPECT_LE(static_cast<size_t>(position), i + 3);
    }
    EXPECT_EQ(report.items.size(), 10u);
    EXPECT_EQ(progress.back(), 10u);
    EXPECT_EQ(GroundedFeedbackReport::fromJSON(parseJSON(readWholeFile(folder / "feedback.json"))).items, report.items);
    EXPECT_TRUE(diagnosticsIn(folder.path()).empty());
}

TEST_F(RunnerTest, RetryReplacesOnlyTheRetriedCandidatesResults) {
    const auto c = writeEvidenceBundle(folder.path(), 3);
    provider.script = {{c[1].id, Answer::failure}};
    const auto first = run();
    ASSERT_EQ(first.items.size(), 2u);
    const auto firstDiagnostic = diagnosticsIn(folder.path()).at(0);
    EXPECT_EQ(firstDiagnostic.candidateID, c[1].id);
    EXPECT_EQ(unfinishedCandidateIDs(folder.path()), std::set<Uuid>{c[1].id});

    // Failing again: the earlier items stay and the old diagnostic gives way to a fresh one.
    provider.started.clear();
    EvidenceAnalysisRunOptions retry;
    retry.candidateIDs = std::set<Uuid>{c[1].id};
    EXPECT_THROW(run(retry), AllCandidatesFailedError);
    EXPECT_EQ(provider.started, std::vector<Uuid>{c[1].id});
    const auto again = diagnosticsIn(folder.path());
    ASSERT_EQ(again.size(), 1u);
    EXPECT_NE(again[0].id, firstDiagnostic.id);
    EXPECT_EQ(GroundedFeedbackReport::fromJSON(parseJSON(readWholeFile(folder / "feedback.json"))).items, first.items);

    // Succeeding: its item is appended after the kept ones and nothing stays unfinished. A
    // candidate that now finds nothing grounded keeps its earlier item.
    provider.script = {{c[0].id, Answer::nothingGrounded}};
    retry.candidateIDs = std::set<Uuid>{c[0].id, c[1].id};
    const auto merged = run(retry);
    ASSERT_EQ(merged.items.size(), 3u);
    EXPECT_EQ(merged.items[0], first.items[0]);
    EXPECT_EQ(merged.items[1], first.items[1]);
    EXPECT_EQ(merged.items[2].candidateID, c[1].id);
    EXPECT_TRUE(diagnosticsIn(folder.path()).empty());
}

TEST_F(RunnerTest, EveryCandidateFailingStillWritesTheThreeFiles) {
    const auto c = writeEvidenceBundle(folder.path(), 3);
    for (const auto& candidate : c) provider.script[candidate.id] = Answer::failure;
    try {
        run();
        FAIL() << "expected allCandidatesFailed";
    } catch (const AllCandidatesFailedError& error) {
        EXPECT_STREQ(error.what(), "Gemini could not analyze any evidence candidates (3 request failures). See "
                                   "analysis-diagnostics.json in the local evidence bundle.");
    }
    EXPECT_EQ(diagnosticsIn(folder.path()).size(), 3u);
    EXPECT_EQ(diagnosticsIn(folder.path())[0].message.rfind("The relay is down", 0), 0u);
    EXPECT_TRUE(std::filesystem::exists(folder / "feedback.json"));
    EXPECT_TRUE(std::filesystem::exists(folder / "feedback.md"));
}

TEST_F(RunnerTest, LimitTakesTheFirstCandidatesAndAnEmptySelectionSucceeds) {
    const auto c = writeEvidenceBundle(folder.path(), 20);
    EvidenceAnalysisRunOptions options;
    options.limit = 16;
    EXPECT_EQ(run(options).items.size(), 16u);
    EXPECT_EQ(provider.started.size(), 16u);
    EXPECT_FALSE(std::count(provider.started.begin(), provider.started.end(), c[16].id));
    options.limit = -3;
    EXPECT_TRUE(run(options).items.empty());
}

TEST_F(RunnerTest, CancellingStopsTheCallsInFlightAndWritesNothing) {
    writeEvidenceBundle(folder.path(), 8);
    provider.delay = std::chrono::seconds(30);
    std::stop_source stop;
    std::jthread canceller([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        stop.request_stop();
    });
    EXPECT_THROW(EvidenceAnalysisRunner(provider).run(folder.path(), {}, stop.get_token()), CancellationError);
    EXPECT_FALSE(std::filesystem::exists(folder / "feedback.json"));
    EXPECT_LE(provider.started.size(), 4u);
}

}  // namespace
}  // namespace quillmer::testing
