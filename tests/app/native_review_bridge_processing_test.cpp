#include <gtest/gtest.h>

#include "support/bridge_test_fixture.h"
#include "core/atomic_file.h"
#include "support/fake_evidence_provider.h"

namespace quillmer::testing {
namespace {

const char* const kNotApproved = "This meeting has not been approved for analysis yet.";

class ProcessingTest : public BridgeTest {
protected:
    // Stages that write down their runs and succeed; export makes a real folder.
    void useCountingStages() {
        stages.transcribe = [this](const auto&, const auto&, std::stop_token) { return ran.push_back("transcribe"), 5; };
        stages.extractEvidence = [this](const auto&, std::stop_token) { return ran.push_back("extract"), 2; };
        stages.exportEvidence = [this](const std::filesystem::path& session, std::stop_token) {
            ran.push_back("export");
            const auto folder = root / "Exports" / session.filename();
            writeTestFile(folder / "evidence.json", "{}");
            return folder;
        };
    }
    // Transcription waits for the gate, or ends as cancelled.
    void blockTranscriptionOn(Gate& gate) {
        stages.transcribe = [&gate](const auto&, const auto&, std::stop_token stop) -> int {
            if (!gate.wait(stop)) throw CancellationError();
            return 5;
        };
    }
    std::vector<std::string> ran;
};

TEST_F(ProcessingTest, RunsTheMissingStagesThenCopiesConsentAndStopsAtTheApprovalGate) {
    useCountingStages();
    EXPECT_EQ(error("capture.process"), "Import or record a meeting first.");
    EXPECT_EQ(value("capture.cancel")["detail"], "Stopping safely…");  // nothing to cancel
    const auto session = recordShortSession();
    writeTestFile(session / "consent.json", R"({"schemaVersion":1})");
    EXPECT_EQ(error("capture.process"), kNotApproved);
    EXPECT_EQ(ran, (std::vector<std::string>{"transcribe", "extract", "export"}));
    EXPECT_EQ(readWholeFile(state().lastExportDirectory.value() / "consent.json"), R"({"schemaVersion":1})");
    EXPECT_FALSE(state().errorMessage);

    // A second run clears an old failure and resumes after the export, running nothing.
    capture.displays.clear();
    engine().refreshDisplays();  // leaves "No capturable display is available."
    ASSERT_TRUE(state().errorMessage);
    EXPECT_EQ(error("capture.process"), kNotApproved);
    EXPECT_FALSE(state().errorMessage);
    EXPECT_EQ(ran.size(), 3u);
}

TEST_F(ProcessingTest, AStageFailureRejectsTheCallWithTheEngineMessage) {
    useCountingStages();
    stages.extractEvidence = [](const auto&, std::stop_token) -> int { throw Error("no video frames"); };
    recordShortSession();
    EXPECT_EQ(error("capture.process"), "Evidence extraction could not complete: no video frames");
    EXPECT_EQ(page->states.back()["stage"], "failed");
    EXPECT_EQ(page->states.back()["error"], "Evidence extraction could not complete: no video frames");
    EXPECT_EQ(ran, (std::vector<std::string>{"transcribe"}));
}

TEST_F(ProcessingTest, CancelRejectsTheRunWithoutAnEngineErrorAndADestroyedBridgeNeverReplies) {
    useCountingStages();
    Gate gate;
    blockTranscriptionOn(gate);
    recordShortSession();
    bridge().handleMessage({{"id", "run"}, {"method", "capture.process"}});
    queue.runUntil([&] { return state().isTranscribing; });

    // Replies come as their work finishes, not in the order asked.
    EXPECT_EQ(value("capture.state")["stage"], "transcribing");
    EXPECT_FALSE(replyFor("run"));

    EXPECT_EQ(value("capture.cancel")["detail"], "Stopping safely…");
    queue.runUntil([&] { return replyFor("run") != nullptr; });
    EXPECT_EQ((*replyFor("run"))["error"], "The operation was cancelled.");
    EXPECT_FALSE(state().errorMessage);
    EXPECT_FALSE(state().transcriptSegmentCount);
    EXPECT_TRUE(ran.empty());

    // A run still going when the bridge is destroyed never replies.
    bridge().handleMessage({{"id", "late"}, {"method", "capture.process"}});
    queue.runUntil([&] { return state().isTranscribing; });
    destroyBridge();
    gate.open();
    queue.runUntil([&] { return !state().isTranscribing; });
    EXPECT_FALSE(replyFor("late"));
}

class AnalysisApprovalTest : public ProcessingTest {
protected:
    AnalysisApprovalTest() {
        useCountingStages();
        stages.exportEvidence = [this](const std::filesystem::path& session, std::stop_token) {
            const auto folder = root / "Exports" / session.filename();
            candidates = writeEvidenceBundle(folder, 3);
            return folder;
        };
        stages.analyze = availableProcessingStages().analyze;
        stages.retryAnalysis = availableProcessingStages().retryAnalysis;
        analysis = connectionTo(shared);
    }
    Json approval(Json passes) {
        return Json::array({{{"sessionID", state().lastSessionDirectory->filename().string()}, {"passes", passes}}});
    }
    std::shared_ptr<FakeEvidenceProvider> shared = std::make_shared<FakeEvidenceProvider>();
    FakeEvidenceProvider& provider = *shared;
    std::vector<EvidenceBundleDocument::Candidate> candidates;
};

TEST_F(AnalysisApprovalTest, ApprovedEvidenceIsAnalysedThenRetriedAndTheBundleReturned) {
    recordShortSession();
    EXPECT_EQ(value("analysis.plan")["passes"][0]["candidateCount"], 3);  // runs the local stages first
    EXPECT_EQ(provider.started.size(), 0u);

    provider.script = {{candidates[1].id, FakeEvidenceProvider::Answer::failure}};
    EXPECT_EQ(value("analysis.approve", approval({"evidence"}))["remoteAnalysisApprovedPasses"], Json::array({"evidence"}));
    EXPECT_TRUE(value("capture.process").contains("feedback"));
    EXPECT_EQ(provider.started.size(), 3u);
    EXPECT_EQ(state().feedbackCount, 2);
    EXPECT_EQ(state().unfinishedAnalysisCount, 1);
    // Both items (confidence 0.8) are selected, listed for review and written into the brief.
    EXPECT_EQ(state().includedFeedbackIDs.size(), 2u);
    EXPECT_EQ(state().reviewFeedback.size(), 2u);
    ASSERT_TRUE(state().implementationBriefURL);
    EXPECT_EQ(parseJSON(readWholeFile(state().implementationBriefURL->parent_path() / "implementation-brief.json"))["items"].size(), 2u);

    // Processing again sends nothing; retrying sends only the failed one.
    value("capture.process");
    EXPECT_EQ(provider.started.size(), 3u);
    provider.script.clear();
    value("capture.retry");
    EXPECT_EQ(provider.started.size(), 4u);
    EXPECT_EQ(provider.started.back(), candidates[1].id);
    EXPECT_EQ(state().feedbackCount, 3);
    EXPECT_EQ(state().unfinishedAnalysisCount, 0);
    EXPECT_EQ(state().reviewFeedback.size(), 3u);
}

TEST_F(AnalysisApprovalTest, AnInvalidApprovalRecordsNothingAndADeclineSendsNothing) {
    recordShortSession();
    for (const auto& args : {approval({"evidence", "everything"}), approval(Json::array()), Json::array({"evidence"})})
        EXPECT_EQ(error("analysis.approve", args), "That analysis approval is not valid.");
    EXPECT_EQ(error("capture.process"), kNotApproved);
    EXPECT_FALSE(value("capture.state").contains("remoteAnalysisApproved"));

    EXPECT_EQ(value("analysis.decline")["remoteAnalysisApproved"], false);
    const Json declined = value("capture.process");
    EXPECT_TRUE(declined.contains("frameDataURLs"));
    // A declined meeting still gets the summary made on this computer, and can refresh it.
    EXPECT_EQ(declined.value("summary", Json::object()).value("model", ""), "transcript-rules-v1");
    EXPECT_EQ(value("summary.refresh", Json::array({declined["id"]})).value("provider", ""), "local-fallback");
    // Only the summary approved: no evidence leaves either.
    value("analysis.approve", approval({"summary"}));
    value("capture.process");
    EXPECT_TRUE(provider.started.empty());
    EXPECT_FALSE(state().feedbackCount);
}

}  // namespace
}  // namespace quillmer::testing
