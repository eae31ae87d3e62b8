// Grounded analysis through the real tool against a loopback relay (plan, analyze, retry and the
// library label), a loopback Gemini and a loopback local model server, on an export with 20 evidence
// moments, with every connect() the tool makes recorded.
#include <gtest/gtest.h>

#include <mutex>
#include <set>
#include <sstream>

#include "capture/local_session_manifest.h"
#include "capture/session_folder.h"
#include "core/atomic_file.h"
#include "core/base64.h"
#include "core/json.h"
#include "platform/linux/posix_process_runner.h"
#include "support/connect_log.h"
#include "support/export_builders.h"
#include "support/loopback_http_server.h"
#include "support/private_keyring.h"
#include "support/temporary_folder.h"

namespace quillmer {
namespace {

namespace fs = std::filesystem;
using testing::LoopbackHttpServer;

constexpr int kMeeting = 7;
constexpr int kInventedQuote = 5;   // the relay answers a quote the meeting never said
constexpr int kUnavailable = 9;     // the relay answers 503 three times, then succeeds on retry

ProcessResult quillmer(std::vector<std::string> arguments) {
    return PosixProcessRunner().run({QUILLMER_CLI_PATH, std::move(arguments), std::nullopt, ""});
}

// The library's label for the meeting, as `quillmer sessions --json` shows it.
std::string libraryDetail(const std::string& id) {
    for (const auto& row : parseJSON(quillmer({"sessions", "--json"}).standardOutput))
        if (row.value("id", "") == id) return row.value("detail", "");
    return "(not listed)";
}

// What the relay answers: a grounded item citing the candidate's second frame, except for the two
// scripted failures. Counts requests per candidate.
struct ScriptedRelay {
    std::mutex mutex;
    std::map<std::string, int> requestsPerCandidate;
    std::string inventedID, unavailableID;

    LoopbackHttpServer::Response answer(const LoopbackHttpServer::Request& request) {
        const Json candidate = parseJSON(request.body)["candidate"];
        const std::string id = candidate["id"];
        int attempt;
        {
            std::lock_guard lock(mutex);
            attempt = ++requestsPerCandidate[id];
        }
        if (id == unavailableID && attempt <= 3)
            return {503, R"({"error":"busy","code":"provider_unavailable"})", "Retry-After: 0.01\r\n", {}, {}};
        const std::string quote = id == inventedID ? "Please rewrite the whole billing system." : candidate["transcriptContext"];
        const Json feedback = {{"component", "Header"}, {"observed", "It looks wrong."}, {"requestedChange", "Fix it."},
                               {"quote", quote}, {"confidence", 0.8}, {"evidenceFramePaths", {candidate["frames"][1]["path"]}}};
        // Slow enough that four answers overlap, so the concurrency limit is what holds them back.
        return {200, encodeJSON({{"provider", "gemini"}, {"model", "gemini-3.6-flash"}, {"feedback", feedback}}), "", {},
                std::chrono::milliseconds(150)};
    }
};

std::set<std::string> feedbackCandidates(const fs::path& exportFolder) {
    std::set<std::string> ids;
    const Json report = parseJSON(readWholeFile(exportFolder / "feedback.json"));
    for (const auto& item : report["items"]) ids.insert(item["candidateID"]);
    return ids;
}

// A finished meeting in the library and its export with 20 evidence moments.
fs::path arrangeMeeting(const testing::ScopedDataHome& home) {
    LocalSessionManifest manifest;
    manifest.id = *Uuid::parse(testing::generatedExportID(kMeeting));
    manifest.createdAt = std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
    manifest.width = 1280;
    manifest.height = 720;
    manifest.firstVideoPTSSeconds = 0;
    manifest.lastVideoPTSSeconds = 400;
    manifest.videoFile = kScreenVideoFileName;
    writeManifest(createSessionFolder(sessionsRoot(), manifest.id), manifest);
    return testing::writeGeneratedExport(home.path() / "data" / "Quillmer" / "Exports", {kMeeting, false, 20});
}

// The text of the one user message a chat-completions request carries, and its image parts.
std::pair<std::string, std::vector<std::string>> chatMessage(const Json& body) {
    std::string text;
    std::vector<std::string> images;
    for (const auto& part : body["messages"][0]["content"]) {
        if (part["type"] == "text") text += part["text"].get<std::string>();
        else images.push_back(part["image_url"]["url"]);
    }
    return {text, images};
}

TEST(AnalysisEndToEnd, PlanAnalyzeRetryAgainstLoopbackRelay) {
    testing::ScopedDataHome home;
    testing::ScopedEnvironment user("HOME", home.path().string());
    testing::ScopedEnvironment noURL("QUILLMER_RTMS_URL", std::nullopt);
    testing::ScopedEnvironment noToken("QUILLMER_RTMS_TOKEN", std::nullopt);
    testing::ScopedEnvironment noGemini("QUILLMER_LOCAL_GEMINI", std::nullopt);
    testing::ScopedEnvironment noBus("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent");  // no keyring credential

    const std::string id = testing::generatedExportID(kMeeting);
    const fs::path exportFolder = arrangeMeeting(home);
    const Json evidence = parseJSON(readWholeFile(exportFolder / "evidence.json"));
    const Json& candidates = evidence["candidates"];
    ASSERT_EQ(candidates.size(), 20u);
    std::map<std::string, Json> firstSixteen;
    long long planBytes = 0;
    for (int c = 0; c < 16; ++c) {
        firstSixteen[candidates[c]["id"]] = candidates[c];
        for (const auto& frame : candidates[c]["frames"]) planBytes += frame["byteCount"].get<long long>();
    }
    EXPECT_EQ(libraryDetail(id), "Ready to analyze");

    const auto log = home.path() / "connects.log";
    testing::ScopedEnvironment preload("LD_PRELOAD", QUILLMER_CONNECT_RECORDER);
    testing::ScopedEnvironment logFile("QUILLMER_CONNECT_LOG", log.string());

    // No relay and no key: the analysis would stay on this computer.
    const auto local = quillmer({"plan", id}).standardOutput;
    EXPECT_NE(local.find("Recipient: This computer (rule-based, no model)"), std::string::npos) << local;
    EXPECT_NE(local.find("Nothing leaves this computer"), std::string::npos) << local;
    EXPECT_FALSE(fs::exists(exportFolder / "feedback.json"));

    LoopbackHttpServer relay;
    ScriptedRelay script;
    script.inventedID = candidates[kInventedQuote]["id"];
    script.unavailableID = candidates[kUnavailable]["id"];
    relay.respondWith("/analysis/evidence-candidate", [&](const auto& request) { return script.answer(request); });
    testing::ScopedEnvironment url("QUILLMER_RTMS_URL", relay.url(""));
    testing::ScopedEnvironment token("QUILLMER_RTMS_TOKEN", "qm1_test");
    // A proxy in the environment must not see loopback traffic (this one refuses every connection).
    testing::ScopedEnvironment proxy("http_proxy", "http://127.0.0.2:9");

    // The plan counts the first 16 moments and only their frames, and sends nothing.
    const auto plan = quillmer({"plan", id});
    EXPECT_EQ(plan.exitStatus, 0);
    EXPECT_NE(plan.standardOutput.find("16 evidence moments with 48 frames (" + std::to_string(planBytes) + " bytes)"),
              std::string::npos)
        << plan.standardOutput;
    EXPECT_NE(plan.standardOutput.find("Host: 127.0.0.1"), std::string::npos) << plan.standardOutput;
    EXPECT_TRUE(relay.recordedRequests().empty());

    const auto analyzed = quillmer({"analyze", id, "--approve", "evidence"});
    EXPECT_EQ(analyzed.exitStatus, 0) << analyzed.standardError;
    EXPECT_NE(analyzed.standardOutput.find("14 grounded feedback items, 1 unfinished"), std::string::npos)
        << analyzed.standardOutput << analyzed.standardError;
    EXPECT_LE(relay.peakConcurrentRequests(), 4);
    EXPECT_GE(relay.peakConcurrentRequests(), 2);

    // Every request: the relay's headers, a first-16 candidate and exactly its frames, read from the bundle.
    const auto requests = relay.recordedRequests();
    EXPECT_EQ(requests.size(), 18u);  // 16 moments, two of them retried after a 503
    for (const auto& request : requests) {
        const Json body = parseJSON(request.body);
        const std::string candidateID = body["candidate"]["id"];
        ASSERT_TRUE(firstSixteen.contains(candidateID)) << candidateID;
        EXPECT_EQ(request.method, "POST");
        EXPECT_EQ(request.headers.at("authorization"), "Bearer qm1_test");
        EXPECT_EQ(request.headers.at("idempotency-key"), candidateID);
        EXPECT_EQ(request.headers.at("content-type"), "application/json");
        EXPECT_EQ(request.headers.at("accept"), "application/json");
        EXPECT_EQ(body["meetingID"], id);
        const Json& listed = firstSixteen[candidateID]["frames"];
        ASSERT_EQ(body["candidate"]["frames"].size(), listed.size());
        for (size_t f = 0; f < listed.size(); ++f) {
            const Json& sent = body["candidate"]["frames"][f];
            EXPECT_EQ(sent["path"], listed[f]["path"]);
            EXPECT_EQ(sent["mimeType"], "image/png");
            EXPECT_EQ(decodeBase64(sent["base64"].get<std::string>()),
                      readWholeFile(exportFolder / listed[f]["path"].get<std::string>()));
        }
    }

    // The invented quote gives no item; the unavailable one a diagnostic; the rest grounded items.
    std::set<std::string> grounded;
    for (const auto& [candidateID, candidate] : firstSixteen)
        if (candidateID != script.inventedID && candidateID != script.unavailableID) grounded.insert(candidateID);
    EXPECT_EQ(feedbackCandidates(exportFolder), grounded);
    EXPECT_TRUE(fs::exists(exportFolder / "feedback.md"));
    const Json diagnostics = parseJSON(readWholeFile(exportFolder / "analysis-diagnostics.json"));
    ASSERT_EQ(diagnostics.size(), 1u);
    EXPECT_EQ(diagnostics[0]["candidateID"], script.unavailableID);
    // The grounded items were selected and briefed, and the label counts them, unfinished analyses or not.
    EXPECT_TRUE(fs::exists(exportFolder / "implementation-brief.md"));
    EXPECT_EQ(libraryDetail(id), "14 changes ready to code");

    // Retry sends only the failed moment and merges its item after the earlier ones.
    const auto retried = quillmer({"retry", id});
    EXPECT_EQ(retried.exitStatus, 0) << retried.standardError;
    const auto afterRetry = relay.recordedRequests();
    ASSERT_EQ(afterRetry.size(), requests.size() + 1);
    EXPECT_EQ(afterRetry.back().headers.at("idempotency-key"), script.unavailableID);
    grounded.insert(script.unavailableID);
    EXPECT_EQ(feedbackCandidates(exportFolder), grounded);
    EXPECT_EQ(parseJSON(readWholeFile(exportFolder / "feedback.json"))["items"].back()["candidateID"], script.unavailableID);
    EXPECT_EQ(parseJSON(readWholeFile(exportFolder / "analysis-diagnostics.json")), Json::array());
    EXPECT_EQ(libraryDetail(id), "15 changes ready to code");
    EXPECT_NE(quillmer({"retry", id}).standardOutput.find("Nothing to retry"), std::string::npos);

    testing::expectOnlyLoopbackConnections(log, 7);
}

// A model server on this computer: it judges the moments one at a time, without any approval, and
// only its grounded answers become items; a remote address is refused before anything is sent.
TEST(AnalysisEndToEnd, LocalModelServerOnLoopback) {
    testing::ScopedDataHome home;
    testing::ScopedEnvironment user("HOME", home.path().string());
    testing::ScopedEnvironment noURL("QUILLMER_RTMS_URL", std::nullopt);
    testing::ScopedEnvironment noGemini("QUILLMER_LOCAL_GEMINI", std::nullopt);
    const std::string id = testing::generatedExportID(kMeeting);
    const fs::path exportFolder = arrangeMeeting(home);
    const Json candidates = parseJSON(readWholeFile(exportFolder / "evidence.json"))["candidates"];
    const auto log = home.path() / "connects.log";
    testing::ScopedEnvironment preload("LD_PRELOAD", QUILLMER_CONNECT_RECORDER);
    testing::ScopedEnvironment logFile("QUILLMER_CONNECT_LOG", log.string());

    const auto remote = quillmer({"settings", "set", "analysis.localModel.url", "http://192.0.2.7:11434/v1"});
    EXPECT_EQ(remote.exitStatus, 1);
    EXPECT_NE(remote.standardError.find("Nothing was changed."), std::string::npos) << remote.standardError;

    // Moment 2 gets an invented quote, moment 3 prose instead of JSON, moment 4 a cited frame it
    // does not have; every other one a grounded answer citing its second frame.
    LoopbackHttpServer model;
    std::mutex mutex;
    std::vector<Json> bodies;
    model.respondWith("/v1/chat/completions", [&](const LoopbackHttpServer::Request& request) {
        const Json body = parseJSON(request.body);
        if (body["response_format"]["json_schema"]["name"] == "quillmer_meeting_summary") {
            const Json summary = {{"overview", "The header needs fixing."}, {"actionItems", {"Fix the header"}}};
            return LoopbackHttpServer::Response{
                200, encodeJSON({{"choices", {{{"message", {{"content", encodeJSON(summary)}}}}}}}), "", {}, {}};
        }
        const auto [prompt, images] = chatMessage(body);
        size_t index = 0;
        while (index < candidates.size() && prompt.find(candidates[index]["id"].get<std::string>()) == std::string::npos) ++index;
        {
            std::lock_guard lock(mutex);
            bodies.push_back(body);
        }
        std::string content;
        if (index == 3) {
            content = "Sure! The header should be fixed.";
        } else {
            const Json& candidate = candidates[index];
            const Json feedback = {
                {"component", "Header"}, {"observed", "It looks wrong."}, {"requestedChange", "Fix it."},
                {"quote", index == 2 ? "Please rewrite the whole billing system." : candidate["transcriptContext"]},
                {"confidence", 0.9},
                {"evidenceFramePaths", {index == 4 ? Json("frames/elsewhere.png") : candidate["frames"][1]["path"]}}};
            content = encodeJSON({{"feedback", feedback}});
        }
        return LoopbackHttpServer::Response{
            200, encodeJSON({{"choices", {{{"message", {{"role", "assistant"}, {"content", content}}}}}}}), "", {},
            std::chrono::milliseconds(20)};
    });
    ASSERT_EQ(quillmer({"settings", "set", "analysis.localModel.url", model.url("/v1")}).exitStatus, 0);
    ASSERT_EQ(quillmer({"settings", "set", "analysis.localModel.model", "llava:13b"}).exitStatus, 0);
    EXPECT_NE(quillmer({"plan", id}).standardOutput.find("Recipient: This computer (llava:13b at 127.0.0.1:"),
              std::string::npos);

    const auto analyzed = quillmer({"analyze", id});  // nothing leaves, so nothing to approve
    EXPECT_EQ(analyzed.exitStatus, 0) << analyzed.standardError;
    EXPECT_EQ(model.peakConcurrentRequests(), 1);
    ASSERT_EQ(bodies.size(), 16u);
    for (const auto& body : bodies) {
        EXPECT_EQ(body["model"], "llava:13b");
        EXPECT_EQ(body["response_format"]["type"], "json_schema");
        EXPECT_EQ(chatMessage(body).second.size(), 3u);  // the moment's frames, inline
    }
    std::set<std::string> grounded;
    for (int c = 0; c < 16; ++c)
        if (c != 2 && c != 3) grounded.insert(candidates[c]["id"].get<std::string>());
    EXPECT_EQ(feedbackCandidates(exportFolder), grounded);
    const Json report = parseJSON(readWholeFile(exportFolder / "feedback.json"));
    EXPECT_EQ(report["provider"], "local-model");
    EXPECT_EQ(report["model"], "llava:13b");
    for (const auto& item : report["items"])
        for (const auto& frame : item["evidenceFramePaths"]) EXPECT_NE(frame, "frames/elsewhere.png");

    // The summary comes from the same model, also without approval.
    ASSERT_EQ(quillmer({"summary", id}).exitStatus, 0);
    const Json summary = parseJSON(readWholeFile(exportFolder / "meeting-summary.json"));
    EXPECT_EQ(summary["provider"], "local-model");
    EXPECT_EQ(summary["overview"], "The header needs fixing.");
    testing::expectOnlyLoopbackConnections(log, 3);
}

// The developer-key route: the key from the keyring, sent only to the configured Gemini base URL.
TEST(AnalysisEndToEnd, DeveloperKeyAnalysesThroughLoopbackGemini) {
    if (auto reason = testing::PrivateKeyring::unavailableReason()) GTEST_SKIP() << *reason;
    testing::ScopedDataHome home;
    testing::PrivateKeyring keyring;
    testing::ScopedEnvironment noURL("QUILLMER_RTMS_URL", std::nullopt);
    const std::string id = testing::generatedExportID(kMeeting);
    const fs::path exportFolder = arrangeMeeting(home);
    ASSERT_EQ(PosixProcessRunner().run({QUILLMER_CLI_PATH, {"credentials", "set", "gemini"}, std::nullopt, "gm-test-key\n"})
                  .exitStatus,
              0);

    LoopbackHttpServer gemini;
    const std::string route = "/v1beta/models/gemini-3.6-flash:generateContent";
    // Every generated moment's context begins so; case aside, the quote is grounded.
    const Json answer = {{"feedback", {{"component", "Header"}, {"observed", "It looks wrong."}, {"requestedChange", "Fix it."},
                                       {"quote", "you need to FIX the"}, {"confidence", 0.7}, {"evidenceFramePaths", Json::array()}}}};
    gemini.respond(route, {200, encodeJSON({{"candidates", {{{"content", {{"parts", {{{"text", encodeJSON(answer)}}}}}}}}}}), "",
                           {}, std::chrono::milliseconds(100)});
    testing::ScopedEnvironment local("QUILLMER_LOCAL_GEMINI", "1");
    testing::ScopedEnvironment base("QUILLMER_GEMINI_BASE_URL", gemini.url(""));

    const auto analyzed = quillmer({"analyze", id, "--approve", "evidence"});
    EXPECT_EQ(analyzed.exitStatus, 0) << analyzed.standardError;
    EXPECT_EQ(feedbackCandidates(exportFolder).size(), 16u);
    const auto requests = gemini.recordedRequests();
    EXPECT_EQ(requests.size(), 16u);
    for (const auto& request : requests) {
        EXPECT_EQ(request.path, route);
        EXPECT_EQ(request.headers.at("x-goog-api-key"), "gm-test-key");
    }
    EXPECT_LE(gemini.peakConcurrentRequests(), 4);
}

}  // namespace
}  // namespace quillmer
