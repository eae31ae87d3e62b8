#include "analysis/hosted_analysis_client.h"

#include <gtest/gtest.h>

#include <thread>

#include "analysis/analysis_route.h"
#include "core/json.h"
#include "platform/linux/curl_http_transport.h"
#include "support/export_builders.h"
#include "support/loopback_http_server.h"
#include "support/thrown.h"

namespace quillmer {
namespace {

using testing::EvidenceCandidateBundle;
using testing::LoopbackHttpServer;
using testing::thrown;
using Case = HostedAnalysisError::Case;

const Uuid kMeeting = *Uuid::parse("11111111-2222-4333-8444-555555555555");
constexpr const char* kRoute = "/relay/analysis/evidence-candidate";

struct HostedClientTest : ::testing::Test {
    LoopbackHttpServer relay;
    CurlHttpTransport transport;
    testing::RecordedWaits waits;
    EvidenceCandidateBundle bundle;
    HostedAnalysisTimeouts timeouts{std::chrono::seconds(5), std::chrono::seconds(5)};

    HostedAnalysisClient client(const std::string& prefix = "/relay") {
        return {relay.url(prefix + "/"), "qm1_secret", transport, waits.sleeper(), timeouts};
    }
    CandidateResult analyze(const std::string& prefix = "/relay") {
        return client(prefix).analyzeCandidate(kMeeting, bundle.candidate, bundle.folder.path(), {});
    }
    // The relay error the analysis ends with.
    HostedAnalysisError failure(const std::string& prefix = "/relay") {
        return thrown<HostedAnalysisError>([&] { analyze(prefix); }).value_or(HostedAnalysisError::of(Case::notConnected));
    }
};

TEST_F(HostedClientTest, StatusesMapToErrorsAndRetryOnlyWhatMayPass) {
    struct Row {
        const char* name;
        int status;
        std::string body;
        std::string headers;
        Case expected;
        std::vector<long long> waits;  // one per retry
        std::string textPart;
    };
    const std::vector<Row> rows = {
        {"daily limit", 429, R"({"code":"daily_limit_service","retryAfterSeconds":1800,"error":"cap"})", "",
         Case::costCapReached, {}, "available again in about 30 minutes. Your capture"},
        {"429 without body", 429, "", "Retry-After: 2\r\n", Case::rateLimited, {2000, 2000}, "rate limited"},
        {"Retry-After capped", 429, R"({"code":" rate_limited "})", "Retry-After: 600\r\n", Case::rateLimited,
         {60000, 60000}, ""},
        {"503", 503, R"({"error":"down"})", "", Case::serviceUnavailable, {500, 1000}, "(HTTP 503): down"},
        {"504", 504, "", "", Case::timedOut, {500, 1000}, "time limit"},
        {"500 text", 500, std::string(400, 'x'), "", Case::serviceUnavailable, {500, 1000},
         "(HTTP 500): " + std::string(300, 'x')},
        {"413 candidate", 413, R"({"code":"candidate_too_large"})", "", Case::candidateTooLarge, {},
         "0A1B2C3D-0000-4000-8000-00000000C0DE exceeds the 16 MB"},
        {"401", 401, "", "", Case::unauthorized, {}, "Reconnect Zoom"},
        {"400", 400, "\xff", "", Case::invalidRequest, {}, "No detail was provided."},
        {"422", 422, R"({"error":"unreadable"})", "", Case::providerRejected, {}, "interpret this evidence moment: unreadable"},
        {"200 wrong shape", 200, R"({"feedback":{"component":"Save"}})", "", Case::malformedResponse, {}, ""},
        {"200 not JSON", 200, "<html>", "", Case::malformedResponse, {}, ""},
        {"50 MB answer", 200, std::string(50 << 20, ' '), "", Case::malformedResponse, {}, ""},
    };
    for (size_t i = 0; i < rows.size(); ++i) {
        const Row& row = rows[i];
        SCOPED_TRACE(row.name);
        const std::string prefix = "/row" + std::to_string(i);
        relay.respond(prefix + "/analysis/evidence-candidate", {row.status, row.body, row.headers, {}});
        waits.milliseconds.clear();
        const HostedAnalysisError error = failure(prefix);
        EXPECT_EQ(error.kind(), row.expected) << error.what();
        EXPECT_NE(std::string(error.what()).find(row.textPart), std::string::npos) << error.what();
        EXPECT_EQ(waits.milliseconds, row.waits);
        size_t attempts = 0;
        for (const auto& request : relay.recordedRequests()) attempts += request.path.starts_with(prefix + "/");
        EXPECT_EQ(attempts, row.waits.size() + 1);
    }
}

TEST_F(HostedClientTest, SendsTheCandidateWithItsHeadersAndKeepsOnlyGroundedAnswers) {
    bundle.candidate.trigger = std::string(399, 't') + "\xF0\x9F\x98\x80";  // the emoji would straddle unit 400
    const std::string grounded =
        R"({"model":"gemini-x","usage":{"serviceUsed":3},"feedback":{"component":"Save button","observed":"grey",)"
        R"("requestedChange":"make it blue","quote":"this save   button should be blue","confidence":0.9,)"
        R"("evidenceFramePaths":["frames/c-at.PNG","frames/elsewhere.png"]}})";
    relay.respond(kRoute, {200, grounded, "", {}});
    const CandidateResult result = analyze();
    ASSERT_TRUE(result.feedback);
    EXPECT_EQ(result.feedback->candidateID, bundle.candidate.id);
    EXPECT_EQ(result.feedback->evidenceFramePaths, std::vector<std::string>{"frames/c-at.PNG"});
    EXPECT_EQ(result.model, "gemini-x");
    EXPECT_EQ(result.usage->serviceUsed, 3);

    // Headers and frame bytes are checked end to end by the command-line analysis test.
    const Json body = parseJSON(relay.recordedRequests().at(0).body);
    EXPECT_EQ(body["candidate"]["trigger"], std::string(399, 't'));
    EXPECT_FALSE(body["candidate"].contains("visualAnchor"));
    EXPECT_EQ(body["candidate"]["frames"][1]["mimeType"], "image/jpeg");

    // A quote the meeting never said is no item, and no error.
    std::string invented = grounded;
    invented.replace(invented.find("should be blue"), 14, "should be green");
    relay.respond(kRoute, {200, invented, "", {}});
    EXPECT_FALSE(analyze().feedback);
}

TEST_F(HostedClientTest, RefusesFramesBeforeSendingAnything) {
    const std::string nineMiB(9 << 20, 'f');
    struct Row {
        std::string path;
        std::string bytes;
        Case expected;
    };
    for (const Row& row : std::vector<Row>{{"../outside.png", "", Case::invalidRequest},
                                           {"/etc/passwd", "", Case::invalidRequest},
                                           {"frames/../../up.png", "", Case::invalidRequest},
                                           {"frames/link.png", "", Case::invalidRequest},
                                           {"frames/big.png", nineMiB, Case::candidateTooLarge}}) {
        SCOPED_TRACE(row.path);
        EvidenceCandidateBundle fresh;
        fresh.addFrame("frames/first.png", nineMiB);
        fresh.addFrame(row.path, row.bytes);
        if (row.path == "frames/link.png") std::filesystem::create_symlink("/etc/hostname", fresh.folder / row.path);
        const auto error = thrown<HostedAnalysisError>(
            [&] { client().analyzeCandidate(kMeeting, fresh.candidate, fresh.folder.path(), {}); });
        ASSERT_TRUE(error);
        EXPECT_EQ(error->kind(), row.expected);
        if (row.expected == Case::invalidRequest) {
            EXPECT_STREQ(error->what(), "Quillmer analysis rejected this evidence moment: An evidence frame path "
                                        "was not bundle-relative.");
        }
    }
    EXPECT_TRUE(relay.recordedRequests().empty());

    // Exactly the limit still goes.
    EvidenceCandidateBundle atLimit;
    atLimit.candidate.frames.clear();
    atLimit.addFrame("frames/a.png", std::string(8 << 20, 'a'));
    atLimit.addFrame("frames/b.png", std::string(8 << 20, 'b'));
    relay.respond(kRoute, {200, R"({"feedback":null})", "", {}});
    EXPECT_FALSE(client().analyzeCandidate(kMeeting, atLimit.candidate, atLimit.folder.path(), {}).feedback);
    EXPECT_EQ(relay.recordedRequests().size(), 1u);
}

TEST_F(HostedClientTest, SummaryRouteHasItsOwnKeyAndErrors) {
    const std::string route = "/relay/analysis/meeting-summary";
    const std::vector<std::string> actions(250, "act");
    relay.respondInTurn(route, {{413, R"({"code":"candidate_too_large","error":"big"})", "", {}},
                                {200, R"({"model":"m"})", "", {}},
                                {200, R"({"summary":{"overview":"o","topics":[{"title":"t","detail":"d"}]}})", "", {}}});
    const auto summarize = [&] { return client().summarizeMeeting(kMeeting, "00:01 hello", actions, {}); };
    EXPECT_EQ(thrown<HostedAnalysisError>(summarize).value().kind(), Case::payloadTooLarge);
    EXPECT_EQ(thrown<HostedAnalysisError>(summarize).value().kind(), Case::malformedResponse);
    EXPECT_EQ(summarize().summary.topics.at(0).detail, "d");
    const auto sent = relay.recordedRequests().at(0);
    EXPECT_EQ(sent.headers.at("idempotency-key"), "11111111-2222-4333-8444-555555555555:summary");
    EXPECT_EQ(parseJSON(sent.body)["groundedActions"].size(), 200u);
}

TEST_F(HostedClientTest, SlowAnswersEndAtTheTimeOutAndStopsEndWaits) {
    timeouts.candidate = std::chrono::milliseconds(200);
    relay.respond(kRoute, {200, R"({"feedback":null})", "", std::chrono::seconds(3)});
    EXPECT_EQ(thrown<HttpTransportError>([&] { analyze(); }).value().kind(), HttpTransportError::Kind::timedOut);
    EXPECT_EQ(waits.milliseconds, (std::vector<long long>{500, 1000}));

    // Nobody listening is worth two more tries too.
    waits.milliseconds.clear();
    EXPECT_EQ(thrown<HttpTransportError>([&] {
                  HostedAnalysisClient("http://127.0.0.1:1", "c", transport, waits.sleeper())
                      .analyzeCandidate(kMeeting, bundle.candidate, bundle.folder.path(), {});
              }).value().kind(),
              HttpTransportError::Kind::unreachable);
    EXPECT_EQ(waits.milliseconds, (std::vector<long long>{500, 1000}));

    // A stop ends a slow answer (before the 5 s time-out would) and a minute's retry wait.
    timeouts.candidate = std::chrono::seconds(5);
    for (const bool waiting : {false, true}) {
        std::stop_source stop;
        std::jthread stopper([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            stop.request_stop();
        });
        if (waiting) {
            EXPECT_THROW(sleepUnlessStopped(std::chrono::minutes(1), stop.get_token()), CancellationError);
        } else {
            EXPECT_THROW(client().analyzeCandidate(kMeeting, bundle.candidate, bundle.folder.path(), stop.get_token()),
                         CancellationError);
        }
    }
}

TEST(AnalysisRouteTest, ChoosesTheFirstRouteThatApplies) {
    int credentialReads = 0;
    const auto credential = [&](std::optional<std::string> value) {
        return [&credentialReads, value] {
            ++credentialReads;
            return value;
        };
    };
    EXPECT_EQ(selectAnalysisRoute({"https://relay", credential("c"), true}).kind, AnalysisRoute::Kind::localDevelopmentKey);
    const AnalysisRoute noRelay = selectAnalysisRoute({std::nullopt, credential("c"), false});
    EXPECT_EQ(noRelay.reason, AnalysisRouteUnavailableReason::relayNotConfigured);
    EXPECT_EQ(credentialReads, 0);
    const AnalysisRoute noCredential = selectAnalysisRoute({"https://relay", credential(std::nullopt), false});
    EXPECT_EQ(noCredential.kind, AnalysisRoute::Kind::unavailable);
    EXPECT_STREQ(unavailableRouteError(noCredential.reason).what(),
                 "Connect your Zoom account in Quillmer to analyze evidence. Capture, transcription and export keep "
                 "working without it.");
    const AnalysisRoute hosted = selectAnalysisRoute({"https://relay", credential("qm1_x"), false});
    EXPECT_EQ(hosted.kind, AnalysisRoute::Kind::hosted);
    EXPECT_EQ(hosted.credential, "qm1_x");
}

}  // namespace
}  // namespace quillmer
