// Which route analysis takes: a developer's key, a model server on this computer, the relay, or the
// transcript rules; and what a run may do without approval on each.
#include <gtest/gtest.h>

#include "engine/analysis_connection.h"
#include "engine/local_pipeline.h"
#include "platform/linux/json_file_user_defaults.h"
#include "support/engine_test_fixture.h"
#include "support/fake_evidence_provider.h"
#include "support/temporary_folder.h"

namespace quillmer::testing {
namespace {

using Kind = AnalysisRouteChoice::Kind;
using Pass = RemoteAnalysisPass;

TEST(AnalysisConnection, RouteOrderAndPassesThatNeedNoApproval) {
    ScopedDataHome home;
    ScopedEnvironment noToken("QUILLMER_RTMS_TOKEN", std::nullopt);
    ScopedEnvironment noBus("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent");  // no keyring credential
    struct Case {
        const char* name;
        std::optional<std::string> relay, token, gemini, url, model;
        Kind kind;
        std::optional<std::string> provider;  // the evidence provider's name, when one can be made
        RemoteAnalysisPasses unapproved;      // what a run with no approval carries out
        bool problem = false;
    };
    const std::string relay = "http://127.0.0.1:9";
    const std::string local = "http://127.0.0.1:11434/v1";
    const std::vector<Case> cases = {
        {"nothing configured", {}, {}, {}, {}, {}, Kind::onThisComputer, "transcript-rules", {Pass::evidence}},
        {"a local model", {}, {}, {}, local, "llava:13b", Kind::onThisComputer, "local-model", {Pass::evidence, Pass::summary}},
        {"a model name without an address", {}, {}, {}, {}, "llava:13b", Kind::onThisComputer, "transcript-rules", {Pass::evidence}},
        {"a remote address written into the file", {}, {}, {}, "http://192.0.2.1/v1", "llava:13b", Kind::onThisComputer,
         "transcript-rules", {Pass::evidence}, true},
        {"a connected relay", relay, "qm1_t", {}, {}, {}, Kind::hosted, {}, {}},
        {"a relay not yet connected", relay, {}, {}, {}, {}, Kind::unavailable, {}, {}},
        {"a local model before the relay", relay, "qm1_t", {}, local, "llava:13b", Kind::onThisComputer, "local-model",
         {Pass::evidence, Pass::summary}},
        {"a developer key before a local model", {}, {}, "1", local, "llava:13b", Kind::localDevelopmentKey, {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScopedEnvironment url("QUILLMER_RTMS_URL", c.relay);
        ScopedEnvironment token("QUILLMER_RTMS_TOKEN", c.token);
        ScopedEnvironment gemini("QUILLMER_LOCAL_GEMINI", c.gemini);
        JsonFileUserDefaults settings(home.path() / (std::string(c.name) + ".json"));
        if (c.url) settings.setValue("analysis.localModel.url", *c.url);
        if (c.model) settings.setValue("analysis.localModel.model", *c.model);

        const auto connection = analysisConnectionWithSettings(settings);
        EXPECT_EQ(connection.route.kind, c.kind);
        EXPECT_EQ(connection.passesToRun({}), c.unapproved);
        EXPECT_EQ(connection.route.localModelProblem.has_value(), c.problem);
        if (c.provider) {
            EXPECT_EQ(connection.makeProvider(Uuid::random())->providerName(), *c.provider);
        }
    }
}

// Processing goes on into the analysis only when it stays on this computer (or was approved);
// filling in missing stages, as opening a meeting does, never starts one.
class LocalAnalysisPipelineTest : public EngineTest {
protected:
    LocalAnalysisPipelineTest() {
        stages.transcribe = [](const auto&, const auto&, std::stop_token) { return 1; };
        stages.extractEvidence = [](const auto&, std::stop_token) { return 1; };
        stages.exportEvidence = [this](const auto&, std::stop_token) { return root / "Exports" / "bundle"; };
        stages.analyze = [](const AnalysisConnection&, const auto&, const RemoteAnalysisPasses&, std::stop_token) {
            return AnalysisOutcome{1, 0, {}, {}, std::nullopt};
        };
    }
    bool analysed(bool processing, const RemoteAnalysisPasses& approved = {}) {
        std::vector<LocalStage> started;
        const auto hear = [&](LocalStage stage) { started.push_back(stage); };
        await([&](auto done) {
            if (processing) runProcessingStages(engine(), approved, hear, done);
            else runMissingLocalStages(engine(), hear, done);
        });
        return std::ranges::find(started, LocalStage::evidenceAnalysis) != started.end();
    }
};

TEST_F(LocalAnalysisPipelineTest, OnlyProcessingStartsAnAnalysisAndOnlyOnThisComputerWithoutApproval) {
    analysis = connectionTo(std::make_shared<FakeEvidenceProvider>());  // a remote route
    recordShortSession();
    EXPECT_FALSE(analysed(true));
    analysis.route.kind = Kind::onThisComputer;
    EXPECT_FALSE(analysed(false));
    EXPECT_TRUE(analysed(true));
    EXPECT_FALSE(analysed(true));  // done: a later run skips it
}

}  // namespace
}  // namespace quillmer::testing
