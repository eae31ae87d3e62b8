#include <gtest/gtest.h>

#include "analysis/gemini_evidence_analyzer.h"
#include "analysis/local_model_evidence_provider.h"
#include "analysis/gemini_summary_provider.h"
#include "analysis/local_model_summary_provider.h"
#include "core/base64.h"
#include "platform/linux/curl_http_transport.h"
#include "support/export_builders.h"
#include "support/loopback_http_server.h"
#include "support/thrown.h"

namespace quillmer {
namespace {

using Strings = std::vector<std::string>;
constexpr const char* kRoute = "/v1/chat/completions";
constexpr const char* kWrongShape =
    "The local model's answer did not follow the requested shape, so nothing was taken from it.";

std::string chatAnswer(const std::string& content) {
    return encodeCompactJSON(Json{{"choices", Json::array({Json{{"message", {{"role", "assistant"}, {"content", content}}}}})}});
}
std::string feedback(const std::string& quote, const Strings& frames) {
    return encodeCompactJSON(
        Json{{"feedback", FeedbackPayload{"Save button", "grey", "make it blue", quote, 0.8, frames}.toJSON()}});
}

struct LocalModelTest : ::testing::Test {
    testing::LoopbackHttpServer server;
    CurlHttpTransport transport;
    testing::EvidenceCandidateBundle bundle;
    const LocalModelTimeouts timeouts{std::chrono::seconds(30), std::chrono::milliseconds(0)};

    LocalModelEvidenceProvider provider(std::string url = {}) {
        return {parseLocalModelURL(url.empty() ? server.url("/v1/") : url), "qwen2.5vl:7b", transport, timeouts};
    }
};

TEST_F(LocalModelTest, OnlyGroundedAnswersOfTheRequestedShapeBecomeItems) {
    struct Row {
        const char* name;
        int status;
        std::string body;
        std::optional<Strings> frames;  // the item's frames; none: no item
        std::string error;              // non-empty: what() of the LocalModelError thrown
    };
    const std::vector<Row> rows = {
        {"grounded, one cited frame not attached", 200,
         chatAnswer(feedback("this save button", {"frames/c-at.PNG", "frames/elsewhere.png"})), Strings{"frames/c-at.PNG"}, ""},
        {"fenced", 200, chatAnswer("```json\n" + feedback("BLUE instead", {}) + "\n```\n"), Strings{}, ""},
        {"invented quote", 200, chatAnswer(feedback("make it green", {"frames/c-at.PNG"})), std::nullopt, ""},
        {"nothing grounded", 200, chatAnswer(R"({"feedback": null})"), std::nullopt, ""},
        {"prose", 200, chatAnswer("Sure! The button should be blue."), std::nullopt, kWrongShape},
        {"two fences", 200, chatAnswer("```\n```json\n" + feedback("save", {}) + "\n```\n```"), std::nullopt, kWrongShape},
        {"wrong shape", 200, chatAnswer(R"({"feedback": {"quote": 1}})"), std::nullopt, kWrongShape},
        {"no choices", 200, R"({"object": "chat.completion"})", std::nullopt, kWrongShape},
        {"server error", 404, "{\"error\":\"model \\\"x\\\" not found\"}\n", std::nullopt,
         "The local model server answered HTTP 404: {\"error\":\"model \\\"x\\\" not found\"}"},
    };
    auto local = provider();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        server.respond(kRoute, {row.status, row.body, "", {}});
        if (!row.error.empty()) {
            const auto error = testing::thrown<LocalModelError>([&] { local.analyze(bundle.candidate, bundle.folder.path(), {}); });
            EXPECT_EQ(error ? error->what() : "", row.error);
            continue;
        }
        const auto item = local.analyze(bundle.candidate, bundle.folder.path(), {});
        ASSERT_EQ(item.has_value(), row.frames.has_value());
        if (item) {
            EXPECT_EQ(item->evidenceFramePaths, *row.frames);
        }
    }
}

TEST_F(LocalModelTest, SendsThePromptEveryFrameAndAStrictSchema) {
    server.respond(kRoute, {200, chatAnswer(R"({"feedback":null})"), "", {}});
    provider().analyze(bundle.candidate, bundle.folder.path(), {});
    // One call at a time, the model name and the frames' count are checked end to end by the
    // command-line analysis test.
    const Json body = parseJSON(server.recordedRequests().at(0).body);
    EXPECT_EQ(body["stream"], false);
    const Json& parts = body["messages"][0]["content"];
    ASSERT_EQ(parts.size(), 3u);
    EXPECT_EQ(parts[0]["text"], GeminiEvidenceAnalyzer::prompt(bundle.candidate));
    EXPECT_EQ(parts[1]["image_url"]["url"], "data:image/png;base64," + encodeBase64("png-bytes"));
    EXPECT_EQ(parts[2]["image_url"]["url"], "data:image/jpeg;base64," + encodeBase64("webp-bytes"));

    const Json& format = body["response_format"];
    EXPECT_EQ(format["type"], "json_schema");
    EXPECT_EQ(format["json_schema"]["strict"], true);
    const Json& feedbackSchema = format["json_schema"]["schema"]["properties"]["feedback"];
    EXPECT_EQ(feedbackSchema["anyOf"][1], (Json{{"type", "null"}}));
    EXPECT_EQ(feedbackSchema["anyOf"][0]["additionalProperties"], false);
    EXPECT_FALSE(feedbackSchema["anyOf"][0].contains("nullable"));
    EXPECT_EQ(feedbackSchema["anyOf"][0]["required"], GeminiEvidenceAnalyzer::responseSchema()["properties"]["feedback"]["required"]);
}

TEST_F(LocalModelTest, OnlyAddressesOnThisComputerAreAccepted) {
    struct Accepted {
        const char* text;
        const char* baseURL;
        const char* displayHost;
    };
    for (const Accepted& row : std::vector<Accepted>{
             {"http://127.0.0.1:11434/v1", "http://127.0.0.1:11434/v1", "127.0.0.1:11434"},
             {"HTTP://LocalHost:8080/v1//", "http://LocalHost:8080/v1", "LocalHost:8080"},
             {"https://[::1]/api/v1/", "https://[::1]/api/v1", "[::1]"},
             {"http://127.255.0.1", "http://127.255.0.1", "127.255.0.1"},
             {"unix:/run/model.sock", "http://localhost/v1", "/run/model.sock"},
         }) {
        SCOPED_TRACE(row.text);
        const LocalModelEndpoint endpoint = parseLocalModelURL(row.text);
        EXPECT_EQ(endpoint.baseURL, row.baseURL);
        EXPECT_EQ(endpoint.displayHost, row.displayHost);
        EXPECT_EQ(endpoint.unixSocketPath.has_value(), std::string_view(row.text).starts_with("unix:"));
    }
    for (const char* refused :
         {"http://192.168.1.5:11434/v1", "http://example.com/v1", "http://127.0.0.1.evil.com/v1", "http://user@127.0.0.1/v1",
          "ftp://127.0.0.1/", "http://2130706433/", "http://0x7f.0.0.1/", "http://0177.0.0.1/", "http://127.1/",
          "http://0.0.0.0:11434", "http://[::ffff:8.8.8.8]/", "http://[::ffff:127.0.0.1]/", "http://localhost./v1",
          "http://127.0.0.1/v1?key=1", "http://127.0.0.1/v1#x", "http://127.0.0.1:0/", "http://127.0.0.1:65536/",
          "http://127.0.0.1 /v1", "http://127.0.0.1/v1\n", "http://127.0.0.1/v1\\..", "127.0.0.1:11434", "",
          "unix:relative.sock", "unix://host/x.sock"}) {
        SCOPED_TRACE(refused);
        EXPECT_THROW(parseLocalModelURL(refused), Error);
    }
    // An endpoint built by hand is read through the same rule, before any connection.
    EXPECT_THROW(LocalModelEvidenceProvider({"http://192.168.1.5:11434/v1", std::nullopt, "127.0.0.1"}, "m", transport),
                 Error);
    EXPECT_TRUE(server.recordedRequests().empty());

    for (const char* name : {"qwen2.5vl:7b", "llava:13b", "org/model-GGUF"}) EXPECT_NO_THROW(validateLocalModelName(name));
    for (const std::string& name : {std::string(), std::string(201, 'a'), std::string("a\nb"), std::string(" lead"),
                                   std::string("bad\x01"), std::string("\xff")})
        EXPECT_THROW(validateLocalModelName(name), Error) << name;
}

TEST_F(LocalModelTest, AStoppedServerIsNamedAfterOneMoreAttempt) {
    std::string url;
    {
        testing::LoopbackHttpServer gone;
        url = gone.url("/v1");
    }
    const std::string host = parseLocalModelURL(url).displayHost;
    const auto error = testing::thrown<LocalModelError>([&] { provider(url).analyze(bundle.candidate, bundle.folder.path(), {}); });
    EXPECT_EQ(error ? error->what() : "",
              "Quillmer could not reach the local model at " + host + ". Is the model server running?");
}

TEST_F(LocalModelTest, SummaryDecodesTheSharedShapeAndRefusesAnyOther) {
    const Json summary = {{"overview", "We chose blue."},   {"topics", Json::array({{{"title", "Colour"}, {"detail", "Blue"}}})},
                          {"decisions", {"Blue"}},           {"actionItems", {"Make the button blue"}},
                          {"unresolvedQuestions", Json::array()}};
    server.respondInTurn(kRoute, {{200, chatAnswer(summary.dump()), "", {}}, {200, chatAnswer("{\"overview\": 3}"), "", {}}});
    LocalModelSummaryProvider local(parseLocalModelURL(server.url("/v1")), "llava:13b", transport, timeouts);
    EXPECT_EQ(local.summarize("[00:01] Make it blue", {"Make the button blue"}, {}), HostedMeetingSummary::fromJSON(summary));
    EXPECT_EQ(parseJSON(server.recordedRequests().at(0).body)["response_format"]["json_schema"]["schema"],
              strictJSONSchema(meetingSummaryResponseSchema()));
    EXPECT_THROW(local.summarize("[00:01] Make it blue", {}, {}), LocalModelError);
}

}  // namespace
}  // namespace quillmer
