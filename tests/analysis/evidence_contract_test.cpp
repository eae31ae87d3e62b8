#include <gtest/gtest.h>

#include "analysis/gemini_evidence_analyzer.h"
#include "analysis/gemini_evidence_provider.h"
#include "core/json.h"
#include "platform/linux/curl_http_transport.h"
#include "support/export_builders.h"
#include "support/loopback_http_server.h"
#include "support/thrown.h"

namespace quillmer {
namespace {

using testing::EvidenceCandidateBundle;

FeedbackPayload payload(std::string quote, double confidence = 0.8, std::string component = "Save button") {
    return {std::move(component), "grey", "make it blue", std::move(quote), confidence,
            {"frames/c-after.webp", "frames/unknown.png", "frames/c-after.webp"}};
}

TEST(GroundingTest, AcceptsOnlyQuotedCalibratedAnswers) {
    const EvidenceCandidateBundle bundle;
    struct Row {
        const char* name;
        FeedbackPayload answer;
        bool accepted;
    };
    const std::vector<Row> rows = {
        {"case, line breaks and doubled spaces", payload("this SAVE button   should\tbe blue"), true},
        {"confidence 1", payload("save button", 1.0), true},
        {"one changed word", payload("this save button should be green"), false},
        {"above 1", payload("save button", 1.01), false},
        {"below 0", payload("save button", -0.1), false},
        {"blank quote", payload(" \n "), false},
        {"blank component", payload("save button", 0.5, "  \n"), false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const auto item = GeminiEvidenceAnalyzer::groundedItem(row.answer, bundle.candidate);
        ASSERT_EQ(item.has_value(), row.accepted);
        if (!item) continue;
        EXPECT_EQ(item->quote, row.answer.quote);  // kept as the model wrote it
        EXPECT_EQ(item->evidenceFramePaths, (std::vector<std::string>{"frames/c-after.webp", "frames/c-after.webp"}));
    }
    EXPECT_THROW(GeminiEvidenceAnalyzer::decodeAnswer(parseJSON(R"({"feedback":{"quote":1}})")), DecodingError);
    EXPECT_THROW(GeminiEvidenceAnalyzer::decodeAnswer(parseJSON("[]")), DecodingError);
    EXPECT_FALSE(GeminiEvidenceAnalyzer::decodeAnswer(parseJSON(R"({"feedback":null})")));
}

TEST(FeedbackMarkdownTest, RendersKnownCandidatesAndSaysWhenNothingWasFound) {
    const EvidenceCandidateBundle bundle;
    GroundedFeedbackReport report{2, "gemini", "gemini-3.6-flash", *parseISO8601("2026-05-04T09:30:12Z"), {}};
    const std::string header =
        "# Quillmer grounded feedback\n\nThis is a conservative analysis over cited local evidence. Strongly grounded "
        "items may be prepared automatically for implementation; the cited sources remain available for "
        "correction.\n\n- Provider: gemini\n- Model: gemini-3.6-flash\n- Generated: 2026-05-04T09:30:12Z\n";
    EXPECT_EQ(GeminiEvidenceAnalyzer::markdown(report, {bundle.candidate}),
              header + "\nNo sufficiently grounded feedback was found.\n");

    auto item = *GeminiEvidenceAnalyzer::groundedItem(payload("save button", 0.875, "Save <b>"), bundle.candidate);
    auto orphan = item;
    orphan.candidateID = Uuid::random();
    report.items = {orphan, item};
    EXPECT_EQ(GeminiEvidenceAnalyzer::markdown(report, {bundle.candidate}),
              header +
                  "\n## 2. Save &lt;b&gt; \u00B7 01:05.25 \u00B7 88% confidence\n\n> save button\n\n**Observed**\ngrey"
                  "\n\n**Requested change**\nmake it blue\n\n**Cited evidence**\n- [frames/c-after.webp](frames/c-after.webp)"
                  "\n- [frames/c-after.webp](frames/c-after.webp)\n");
}

struct GeminiProviderTest : ::testing::Test {
    testing::LoopbackHttpServer gemini;
    CurlHttpTransport transport;
    testing::RecordedWaits waits;
    EvidenceCandidateBundle bundle;
    const std::string route = "/v1beta/models/gemini-test:generateContent";

    GeminiEvidenceProvider provider(std::string model = "gemini-test") {
        return {std::move(model), "dev-key", "gemini", transport, gemini.url(""), waits.sleeper()};
    }
    static std::string envelope(const std::string& text) {
        return encodeCompactJSON(Json{{"candidates", {{{"content", {{"parts", {{{"text", text}}}}}}}}}});
    }
};

TEST_F(GeminiProviderTest, SendsPromptFramesAndSchemaAndGroundsTheAnswer) {
    gemini.respond(route, {200, envelope(R"({"feedback":)" + payload("should be blue").toJSON().dump() + "}"), "", {}});
    const auto item = provider().analyze(bundle.candidate, bundle.folder.path(), {});
    ASSERT_TRUE(item);
    EXPECT_EQ(item->requestedChange, "make it blue");

    const auto sent = gemini.recordedRequests().at(0);
    EXPECT_EQ(sent.headers.at("x-goog-api-key"), "dev-key");
    const Json body = parseJSON(sent.body);
    const Json& parts = body["contents"][0]["parts"];
    EXPECT_EQ(parts[0]["text"], GeminiEvidenceAnalyzer::prompt(bundle.candidate));
    EXPECT_EQ(parts[2]["inlineData"]["mimeType"], "image/jpeg");
    EXPECT_EQ(body["generationConfig"]["responseSchema"], GeminiEvidenceAnalyzer::responseSchema());
    EXPECT_NE(parts[0]["text"].get<std::string>().find(
                  "Evidence time range, source PTS seconds: 65.25 to 70.0\nTrigger phrase: this button\nVisual change "
                  "hint: No small visual change was detected."),
              std::string::npos);
}

TEST_F(GeminiProviderTest, HostileAndFailingAnswersNeverGiveAnUngroundedItem) {
    gemini.respondInTurn(route, {{200, R"({"candidates":[]})", "", {}},
                                 {200, envelope("not json"), "", {}},
                                 {200, envelope(R"({"feedback":)" + payload("i never said this").toJSON().dump() + "}"), "", {}},
                                 {503, "busy", "Retry-After: 30\r\n", {}}});
    auto gem = provider();
    EXPECT_FALSE(gem.analyze(bundle.candidate, bundle.folder.path(), {}));
    EXPECT_THROW(gem.analyze(bundle.candidate, bundle.folder.path(), {}), DecodingError);
    EXPECT_FALSE(gem.analyze(bundle.candidate, bundle.folder.path(), {}));
    EXPECT_STREQ(testing::thrown<GeminiAnalysisError>([&] { gem.analyze(bundle.candidate, bundle.folder.path(), {}); })
                     .value().what(),
                 "Gemini analysis failed (HTTP 503): busy");
    EXPECT_EQ(waits.milliseconds, (std::vector<long long>{8000, 8000}));  // Retry-After capped at 8 s

    const size_t sent = gemini.recordedRequests().size();
    EXPECT_THROW(provider("gemini test").analyze(bundle.candidate, bundle.folder.path(), {}), GeminiAnalysisError);
    EXPECT_EQ(gemini.recordedRequests().size(), sent);
}

}  // namespace
}  // namespace quillmer
