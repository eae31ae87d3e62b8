#include <gtest/gtest.h>

#include "analysis/remote_analysis_plan.h"
#include "support/fake_evidence_provider.h"
#include "support/temporary_folder.h"

namespace quillmer::testing {
namespace {

using Kind = AnalysisRouteChoice::Kind;
using Unavailable = AnalysisRouteChoice::Unavailable;

AnalysisRouteChoice routeChoice(Kind kind, Unavailable reason = {}, std::optional<std::string> relay = {},
                                std::string geminiHost = "g") {
    AnalysisRouteChoice route;
    route.kind = kind;
    route.reason = reason;
    route.relayEndpoint = std::move(relay);
    route.geminiHost = std::move(geminiHost);
    return route;
}

const AnalysisRouteChoice kHostedOnRailway =
    routeChoice(Kind::hosted, {}, "https://relay-1.up.railway.app/v1", "g.example");

class PlanTest : public ::testing::Test {
protected:
    std::filesystem::path session() const { return folder / "session"; }
    std::filesystem::path bundle() const { return folder / "export"; }
    TemporaryFolder folder;
};

TEST_F(PlanTest, TwentyCandidatesCountSixteenAndOnlyTheirFrames) {
    writeEvidenceBundle(bundle(), 20, 3, 100);
    // "é" written as e and a combining accent counts as one character.
    writeTestFile(session() / "transcript.json", R"({"segments":[{"text":"ab"},{"text":"e\u0301!"}]})");
    const auto plan = planRemoteAnalysis("S", session(), bundle(), kHostedOnRailway);
    ASSERT_TRUE(plan.canSend);
    ASSERT_EQ(plan.passes.size(), 2u);
    const auto& evidence = plan.passes[0];
    EXPECT_EQ(evidence.pass, RemoteAnalysisPass::evidence);
    EXPECT_EQ(evidence.candidateCount, 16);
    EXPECT_EQ(evidence.frameCount, 48);
    EXPECT_EQ(evidence.frameByteCount, 4800);
    EXPECT_EQ(evidence.transcriptSegmentCount, 16);
    // "Make the button blue, café N": 28 characters for 0–9, 29 for 10–15.
    EXPECT_EQ(evidence.transcriptCharacterCount, 10 * 28 + 6 * 29);
    EXPECT_FALSE(evidence.sendsFullTranscript);
    const auto& summary = plan.passes[1];
    EXPECT_EQ(summary.transcriptSegmentCount, 2);
    EXPECT_EQ(summary.transcriptCharacterCount, 4);
    EXPECT_TRUE(summary.sendsFullTranscript);
    EXPECT_EQ(plan.recipient.providerName, "Quillmer hosted analysis, which calls Google Gemini");
    EXPECT_EQ(plan.recipient.providerHost, "relay-1.up.railway.app (Quillmer's relay, hosted on Railway)");

    EXPECT_FALSE(plan.toBridgeJSON().contains("blockedReason"));
}

TEST_F(PlanTest, BlockingReasonsAndRecipients) {
    writeEvidenceBundle(bundle(), 2);
    struct Case {
        AnalysisRouteChoice route;
        bool withExport;
        std::string name, host, reason, detail;
    };
    const std::vector<Case> cases = {
        {routeChoice(Kind::unavailable, Unavailable::relayNotConfigured), true, "Quillmer hosted analysis",
         "no relay is configured in this build", "provider-unconfigured",
         "This build has no Quillmer relay configured, so there is nowhere for it to send anything. Nothing leaves "
         "this computer."},
        {routeChoice(Kind::unavailable, Unavailable::notConnected, "http://127.0.0.1:8080"), true,
         "Quillmer hosted analysis, which calls Google Gemini", "127.0.0.1 (Quillmer's relay)", "not-connected",
         "Quillmer is not connected to Quillmer hosted analysis, which calls Google Gemini yet, so nothing can be "
         "sent from here. Connect your Zoom account to turn analysis on."},
        {routeChoice(Kind::unavailable, Unavailable::localDevelopmentKeyMissing, {}, "g.example"), true, "Google (Gemini API)",
         "g.example", "provider-unconfigured",
         "This build is set to use a local Gemini key and no key is installed, so nothing can be sent from here."},
        {kHostedOnRailway, false, "Quillmer hosted analysis, which calls Google Gemini",
         "relay-1.up.railway.app (Quillmer's relay, hosted on Railway)", "no-export",
         "This meeting has no exported evidence or transcript yet, so there is nothing Quillmer could send."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reason + " " + c.host);
        const auto plan = planRemoteAnalysis("S", session(), c.withExport ? std::optional(bundle()) : std::nullopt, c.route);
        EXPECT_FALSE(plan.canSend);
        EXPECT_EQ(plan.recipient.providerName, c.name);
        EXPECT_EQ(plan.recipient.providerHost, c.host);
        EXPECT_EQ(plan.blockedReason, c.reason);
        EXPECT_EQ(plan.blockedDetail, c.detail);
        EXPECT_EQ(plan.passes.size(), c.withExport ? 1u : 0u);  // the export alone, no transcript
    }
}

// On this computer nothing is sent: the plan can always run, names the model (or the rules) and
// has a summary pass only when there is a model to write it.
TEST_F(PlanTest, OnThisComputerNeedsNoApproval) {
    writeEvidenceBundle(bundle(), 2);
    writeTestFile(session() / "transcript.json", R"({"segments":[{"text":"ab"}]})");
    AnalysisRouteChoice rules = routeChoice(Kind::onThisComputer);
    rules.localModelProblem = "The local model in the settings is not used: a remote address.";
    AnalysisRouteChoice model = routeChoice(Kind::onThisComputer);
    model.localModelName = "llava:13b";
    model.localModelHost = "127.0.0.1:11434";
    struct Case {
        AnalysisRouteChoice route;
        std::string host, model;
        size_t passes;
    };
    for (const auto& c : std::vector<Case>{{rules, "rule-based, no model", "transcript-rules", 1},
                                           {model, "llava:13b at 127.0.0.1:11434", "llava:13b", 2}}) {
        SCOPED_TRACE(c.host);
        const auto plan = planRemoteAnalysis("S", session(), bundle(), c.route);
        EXPECT_TRUE(plan.canSend);
        EXPECT_EQ(plan.passes.size(), c.passes);
        const Json json = plan.toBridgeJSON();
        EXPECT_EQ(json["providerName"], "This computer");
        EXPECT_EQ(json["providerHost"], c.host);
        EXPECT_EQ(json["model"], c.model);
        EXPECT_EQ(json["onThisComputer"], true);
        EXPECT_EQ(json.contains("note"), c.route.localModelProblem.has_value());
    }
    EXPECT_EQ(planRemoteAnalysis("S", session(), bundle(), kHostedOnRailway).toBridgeJSON()["onThisComputer"], false);
}

}  // namespace
}  // namespace quillmer::testing
