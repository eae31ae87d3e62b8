#include "engine/meeting_summary_stage.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "analysis/gemini_summary_provider.h"
#include "analysis/hosted_providers.h"
#include "capture/session_progress_files.h"
#include "core/atomic_file.h"
#include "platform/linux/curl_http_transport.h"
#include "support/loopback_http_server.h"
#include "support/temporary_folder.h"
#include "support/test_sessions.h"
#include "support/thrown.h"

namespace quillmer {
namespace {

const Timestamp kCreated = *parseISO8601("2026-03-04T05:06:07Z");

// Lines a second apart from 01:01.50.
LocalTranscript transcriptOf(const std::vector<std::string>& texts) {
    std::vector<testing::SpokenLine> lines;
    for (const auto& text : texts) lines.push_back({61.5 + static_cast<double>(lines.size()), 0, text});
    return testing::transcriptWith(lines);
}

GroundedFeedbackItem feedback(const std::string& component, const std::string& change) {
    GroundedFeedbackItem item;
    item.component = component, item.requestedChange = change;
    return item;
}

TEST(RuleBasedSummaryTest, TopicsActionsAndOverviewFollowTheRules) {
    std::vector<std::string> twelve;
    for (int i = 1; i <= 12; ++i) twelve.push_back("line " + std::to_string(i));
    const auto chunks = ruleBasedSummary(transcriptOf(twelve), {}, kCreated);
    ASSERT_EQ(chunks.topics.size(), 4u);
    EXPECT_EQ(chunks.topics[0].title, "Discussion 1");
    EXPECT_EQ(chunks.topics[3].detail, "line 10 line 11 line 12");

    std::string longLine = "We need to review";
    for (int i = 0; i < 120; ++i) longLine += " word";
    const auto cut = ruleBasedSummary(transcriptOf({longLine}), {}, kCreated);
    EXPECT_EQ(std::count(cut.overview.begin(), cut.overview.end(), ' '), 99);  // a hundred words
    EXPECT_TRUE(cut.overview.ends_with(" word\u2026")) << cut.overview;

    const auto actions = ruleBasedSummary(
        transcriptOf({"Can you hear me now?", "Could you share your screen", "we need a BLUE save button CAFÉ",
                      "The sandbox needs to use the API key", "We agreed to ship Friday."}),
        {feedback("Save button", "We need a blue save button café"), feedback("production rollout", "Ship it")},
        kCreated);
    EXPECT_EQ(actions.actionItems, (std::vector<std::string>{"We need a blue save button café", "Ship it",
                                                             "The sandbox needs to use the API key"}));
    EXPECT_EQ(actions.unresolvedQuestions, std::vector<std::string>{"Can you hear me now?"});
    EXPECT_EQ(actions.decisions, std::vector<std::string>{"We agreed to ship Friday."});
    std::vector<std::string> titles;
    for (const auto& topic : actions.topics) titles.push_back(topic.title);
    // "production rollout" is the catalogue's own topic, so its group adds nothing.
    EXPECT_EQ(titles, (std::vector<std::string>{"Production rollout", "Integrations and data refresh", "Save button"}));
}

TEST(RuleBasedSummaryTest, WritesTheDocumentAndMarkdownByteForByte) {
    testing::TemporaryFolder folder;
    const auto document = ruleBasedSummary(transcriptOf({"Could we add an export button?"}),
                                           {feedback("Toolbar", "Add an export button")}, kCreated);
    writeMeetingSummary(folder.path(), document);
    const std::string markdown =
        "# Meeting summary\n\nThe team reviewed the current product workflow and rollout, with discussion focused on "
        "Toolbar. The transcript contains 2 distinct requests or follow-ups that still need confirmation or "
        "completion.\n\n## Key topics\n\n### Toolbar\n\nAdd an export button\n\n## Action items\n\n- Add an export "
        "button\n- Could we add an export button?\n\n## Open questions\n\n- Could we add an export button?\n";
    EXPECT_EQ(readWholeFile(folder / kMeetingSummaryMarkdownFileName), markdown);
    EXPECT_EQ(readWholeFile(folder / kMeetingSummaryJSONFileName),
              "{\n  \"actionItems\" : [\n    \"Add an export button\",\n    \"Could we add an export button?\"\n  ],\n"
              "  \"createdAt\" : \"2026-03-04T05:06:07Z\",\n  \"decisions\" : [],\n  \"markdown\" : " +
                  encodeCompactJSON(markdown) + ",\n  \"model\" : \"transcript-rules-v1\",\n  \"overview\" : " +
                  encodeCompactJSON(document.overview) +
                  ",\n  \"provider\" : \"local-fallback\",\n  \"schemaVersion\" : 1,\n  \"topics\" : [\n    {\n"
                  "      \"detail\" : \"Add an export button\",\n      \"title\" : \"Toolbar\"\n    }\n  ],\n"
                  "  \"unresolvedQuestions\" : [\n    \"Could we add an export button?\"\n  ]\n}");
    EXPECT_EQ(summaryTranscriptLines(transcriptOf({"a", "b"})), "[01:01.50] Speaker: a\n[01:02.50] Speaker: b");
}

TEST(GeminiSummaryProviderTest, ReadsTheAnswerOrFailsWithItsOwnTexts) {
    struct Row {
        int status;
        std::string body;
        std::string failure;  // "(no failure)": a summary whose overview is "O"
    };
    const std::string answer = encodeCompactJSON(
        Json(R"({"overview":"O","topics":[],"decisions":[],"actionItems":[],"unresolvedQuestions":[]})"));
    const std::vector<Row> rows = {
        {200, R"({"candidates":[{"content":{"parts":[{"text":)" + answer + "}]}}]}", "(no failure)"},
        {200, R"({"candidates":[]})", "Summary response was empty"},
        {500, "", "Summary request failed"},
        {403, "key rejected", "key rejected"},
    };
    testing::LoopbackHttpServer gemini;
    CurlHttpTransport transport;
    const std::string route = "/v1beta/models/gemini-3.6-flash:generateContent";
    for (const auto& row : rows) {
        gemini.respond(route, {row.status, row.body, "", {}});
        GeminiKeychainSummaryProvider provider("gemini", "gemini-3.6-flash", "dev-key", transport, gemini.url("/"));
        EXPECT_EQ(testing::failureText([&] { EXPECT_EQ(provider.summarize("[00:01.00] Speaker: hi", {"act"}, {}).overview, "O"); }),
                  row.failure);
    }
    const auto sent = gemini.recordedRequests().at(0);
    EXPECT_EQ(sent.headers.at("x-goog-api-key"), "dev-key");
    const std::string prompt = parseJSON(sent.body)["contents"][0]["parts"][0]["text"];
    EXPECT_TRUE(prompt.ends_with("COMPLETE TRANSCRIPT\n[00:01.00] Speaker: hi\n\nGROUNDED PROPOSED ACTIONS\n- act"))
        << prompt;
}

// An export whose evidence.json points at its own transcript copy, summarised through a loopback relay.
struct SummaryRefreshTest : ::testing::Test {
    testing::LoopbackHttpServer relay;
    CurlHttpTransport transport;
    testing::RecordedWaits waits;
    testing::TemporaryFolder folder;
    AnalysisConnection connection;

    void SetUp() override {
        EvidenceBundleDocument evidence;
        evidence.session.id = *Uuid::parse("11111111-2222-4333-8444-555555555555");
        evidence.session.transcript.path = "transcript.json";
        writeFileAtomically(folder / kEvidenceFileName, encodeJSON(evidence.toJSON()));
        writeFileAtomically(folder / "transcript.json", encodeJSON(transcriptOf({"We need an export"}).toJSON()));
        connection.makeSummaryProvider = [this](const Uuid& meetingID) {
            return std::make_shared<HostedMeetingSummaryProvider>(
                "gemini", "gemini-3.6-flash", meetingID,
                HostedAnalysisClient(relay.url("/relay/"), "qm1_secret", transport, waits.sleeper()));
        };
    }
};

TEST_F(SummaryRefreshTest, FailureLeavesDiagnosticsAndRulesAndAModelSummaryClearsThem) {
    const std::string route = "/relay/analysis/meeting-summary";
    relay.respond(route, {429, R"({"code":"rate_limited"})", "", {}});
    const auto fallback = ensureSummary(connection, folder.path(), {RemoteAnalysisPass::summary}, {});
    ASSERT_TRUE(fallback);
    EXPECT_EQ(fallback->model, "transcript-rules-v1");
    const std::string diagnostics = readWholeFile(folder / kSummaryDiagnosticsFileName);
    EXPECT_NE(diagnostics.find("\n" + std::string(HostedAnalysisError::rateLimited(std::nullopt).what()) + "\n"),
              std::string::npos)
        << diagnostics;

    relay.respond(route,
                  {200, R"({"model":"m","summary":{"overview":"Short.","topics":[],"actionItems":["Ship"]}})", "", {}});
    const auto model = ensureSummary(connection, folder.path(), {RemoteAnalysisPass::summary}, {});
    ASSERT_TRUE(model);
    EXPECT_EQ(model->provider, "gemini");
    EXPECT_EQ(readWholeFile(folder / kMeetingSummaryMarkdownFileName),
              "# Meeting summary\n\nShort.\n\n## Key topics\n\n\n\n## Action items\n\n- Ship\n");
    EXPECT_FALSE(std::filesystem::exists(folder / kSummaryDiagnosticsFileName));

    // Without the summary pass nothing is sent and the rules write the summary.
    const auto requests = relay.recordedRequests().size();
    EXPECT_EQ(ensureSummary(connection, folder.path(), {}, {})->provider, "local-fallback");
    EXPECT_EQ(relay.recordedRequests().size(), requests);
}

}  // namespace
}  // namespace quillmer
