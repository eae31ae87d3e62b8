#include "app/review_http_server.h"

#include <fcntl.h>
#include <glib.h>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <future>

#include "app/bridge_test_fixture.h"
#include "app/http_test_client.h"
#include "app/review_http_access.h"

namespace quillmer::testing {
namespace {

const std::string kToken = "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef";

class HttpServerTest : public BridgeTest {
protected:
    HttpServerTest() {
        writeTestFile(renderer / "index.html", "<!doctype html><title>Quillmer</title>");
        writeTestFile(renderer / "assets" / "app.js", "console.log(1)");
        server = std::make_shared<ReviewHttpServer>(bridge(), scheme, kToken, 0);
        bridge().attachPage(server);
    }

    // Sends the request from another thread while this one runs the GLib main context the
    // server (and the bridge) live on.
    HttpAnswer send(const std::string& head, const std::string& body = "", bool keepBody = true,
                    std::function<bool(const std::string&)> stopWhen = {}) {
        std::string request = head + "Connection: close\r\n";
        if (!body.empty()) request += "Content-Length: " + std::to_string(body.size()) + "\r\n";
        request += "\r\n" + body;
        auto answer = std::async(std::launch::async, [&] { return httpRequest(server->port(), request, keepBody, stopWhen); });
        while (answer.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready) {
            g_main_context_iteration(nullptr, FALSE);
            queue.runPending();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return answer.get();
    }
    std::string host() const { return "Host: 127.0.0.1:" + std::to_string(server->port()) + "\r\n"; }
    std::string authorised() const { return host() + "Authorization: Bearer " + kToken + "\r\n"; }

    std::shared_ptr<ReviewHttpServer> server;
};

TEST_F(HttpServerTest, PrintsAPageAddressWithItsToken) {
    EXPECT_EQ(server->pageURL(), "http://127.0.0.1:" + std::to_string(server->port()) + "/?token=" + kToken);
    EXPECT_GT(server->port(), 0u);
}

TEST_F(HttpServerTest, RefusesRequestsWithoutTheTokenOrFromAnotherHostName) {
    EXPECT_EQ(send("GET /events HTTP/1.1\r\n" + host()).status, 401);
    EXPECT_EQ(send("POST /bridge HTTP/1.1\r\n" + host(), R"({"id":"1","method":"capture.state"})").status, 401);
    EXPECT_EQ(send("GET /?token=wrong HTTP/1.1\r\n" + host()).status, 401);
    EXPECT_EQ(send("GET /assets/app.js HTTP/1.1\r\n" + host() + "Authorization: Bearer " + kToken.substr(1) + "x\r\n").status, 401);
    const std::string rebound = "Host: attacker.example:" + std::to_string(server->port()) + "\r\n";
    EXPECT_EQ(send("GET /?token=" + kToken + " HTTP/1.1\r\n" + rebound).status, 403);
    EXPECT_EQ(send("GET /assets/app.js HTTP/1.1\r\nAuthorization: Bearer " + kToken + "\r\n" + rebound).status, 403);
    EXPECT_EQ(send("GET /assets/app.js HTTP/1.1\r\nHost: localhost:1\r\nAuthorization: Bearer " + kToken + "\r\n").status, 403);
}

TEST_F(HttpServerTest, OpeningThePageWithTheTokenSetsAStrictHttpOnlyCookieThatAuthorisesLaterRequests) {
    const HttpAnswer page = send("GET /?token=" + kToken + " HTTP/1.1\r\nHost: localhost:" + std::to_string(server->port()) + "\r\n");
    EXPECT_EQ(page.status, 200);
    EXPECT_EQ(page.body, "<!doctype html><title>Quillmer</title>");
    const std::string cookie = page.headers.at("set-cookie");
    EXPECT_EQ(cookie, "quillmer_token=" + kToken + "; HttpOnly; SameSite=Strict; Path=/");
    const HttpAnswer script = send("GET /assets/app.js HTTP/1.1\r\n" + host() + "Cookie: theme=dark; quillmer_token=" + kToken + "\r\n");
    EXPECT_EQ(script.status, 200);
    EXPECT_EQ(script.headers.at("content-type"), "text/javascript");
}

TEST_F(HttpServerTest, BridgeCallsAnswerWithTheReplyObject) {
    const HttpAnswer answer = send("POST /bridge HTTP/1.1\r\n" + authorised() + "Content-Type: application/json\r\n",
                                   R"({"id":"17-1","method":"capture.state","args":[]})");
    EXPECT_EQ(answer.status, 200);
    const Json reply = parseJSON(answer.body);
    EXPECT_EQ(reply["id"], "17-1");
    EXPECT_EQ(reply["ok"], true);
    EXPECT_EQ(reply["value"]["stage"], "idle");

    const Json failure = parseJSON(send("POST /bridge HTTP/1.1\r\n" + authorised(), R"({"id":"17-2","method":"no.such"})").body);
    EXPECT_EQ(failure["error"], "This version of Quillmer does not support that operation.");
    EXPECT_EQ(send("POST /bridge HTTP/1.1\r\n" + authorised(), "[1]").status, 400);
    EXPECT_EQ(send("GET /bridge HTTP/1.1\r\n" + authorised()).status, 405);
}

TEST_F(HttpServerTest, EventsStreamASnapshotAtOnce) {
    const HttpAnswer events = send("GET /events HTTP/1.1\r\n" + authorised(), "", true, [](const std::string& body) {
        return body.find("\n\n") != std::string::npos;
    });
    EXPECT_EQ(events.status, 200);
    EXPECT_EQ(events.headers.at("content-type"), "text/event-stream");
    const size_t data = events.body.find("data: ");
    ASSERT_NE(data, std::string::npos);
    const std::string json = events.body.substr(data + 6, events.body.find("\n\n", data) - data - 6);
    EXPECT_EQ(parseJSON(json)["stage"], "idle");
}

TEST_F(HttpServerTest, EvidenceAndMediaPathsServeWhatTheSchemeWouldWithRanges) {
    const auto exportFolder = exportedSession();
    std::string video(1000, '\0');
    for (size_t i = 0; i < video.size(); ++i) video[i] = static_cast<char>('a' + i % 26);
    writeTestFile(*state().lastSessionDirectory / "screen.mp4", video);
    const Json bundle = parseJSON(send("POST /bridge HTTP/1.1\r\n" + authorised(), R"({"id":"r","method":"capture.restore"})").body)["value"]["bundle"];
    const std::string id = bundle["id"];

    const HttpAnswer frame = send("GET /evidence/" + id + "/frames/a%20b-1.png HTTP/1.1\r\n" + authorised());
    EXPECT_EQ(frame.status, 200);
    EXPECT_EQ(frame.body, "png");
    EXPECT_EQ(frame.headers.at("content-type"), "image/png");
    EXPECT_EQ(send("GET /quillmer-review/evidence/" + id + "/frames/a%20b-1.png HTTP/1.1\r\n" + authorised()).body, "png");
    EXPECT_EQ(send("GET /evidence/" + id + "/../../Sessions HTTP/1.1\r\n" + authorised()).status, 404);

    const HttpAnswer part = send("GET /media/" + id + "/screen.mp4 HTTP/1.1\r\n" + authorised() + "Range: bytes=100-\r\n");
    EXPECT_EQ(part.status, 206);
    EXPECT_EQ(part.headers.at("content-range"), "bytes 100-999/1000");
    EXPECT_EQ(part.headers.at("content-length"), "900");
    EXPECT_EQ(part.body, video.substr(100));
    const HttpAnswer head = send("GET /quillmer-review/media/" + id + "/screen.mp4 HTTP/1.1\r\n" + authorised() + "Range: bytes=0-99\r\n");
    EXPECT_EQ(head.status, 206);
    EXPECT_EQ(head.body, video.substr(0, 100));
    const HttpAnswer whole = send("GET /media/" + id + "/screen.mp4 HTTP/1.1\r\n" + authorised() + "Range: bytes=2000-\r\n");
    EXPECT_EQ(whole.status, 200);
    EXPECT_EQ(whole.body, video);
    EXPECT_EQ(send("GET /media/unknown/screen.mp4 HTTP/1.1\r\n" + authorised()).status, 404);
}

TEST_F(HttpServerTest, AHugeVideoWithoutARangeIsStreamedWithoutGrowingMemory) {
    const auto exportFolder = exportedSession();
    const auto video = *state().lastSessionDirectory / "screen.mp4";
    constexpr uint64_t kSize = 768ull << 20;  // sparse: costs no disk
    const int fd = ::open(video.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0600);
    ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(kSize)), 0);
    ::close(fd);
    const Json bundle = parseJSON(send("POST /bridge HTTP/1.1\r\n" + authorised(), R"({"id":"r","method":"capture.restore"})").body)["value"]["bundle"];

    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    const HttpAnswer answer = send("GET /media/" + bundle["id"].get<std::string>() + "/screen.mp4 HTTP/1.1\r\n" + authorised(), "", false);
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    EXPECT_EQ(answer.status, 200);
    EXPECT_EQ(answer.headers.at("content-length"), std::to_string(kSize));
    EXPECT_EQ(answer.bodyBytes, kSize);
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 64 * 1024) << "peak resident memory grew by kilobytes";
}

TEST(HttpAccessTest, HostTokenCookieAndPathRules) {
    EXPECT_TRUE(isAllowedHost("127.0.0.1:8080", 8080));
    EXPECT_TRUE(isAllowedHost("localhost:8080", 8080));
    for (const char* refused : {"127.0.0.1", "127.0.0.1:8081", "evil.example:8080", "127.0.0.1:8080.evil", "", "[::1]:8080"})
        EXPECT_FALSE(isAllowedHost(refused, 8080)) << refused;
    EXPECT_FALSE(isAllowedHost(std::nullopt, 8080));

    EXPECT_TRUE(carriesToken("Bearer abc", std::nullopt, "abc"));
    EXPECT_TRUE(carriesToken(std::nullopt, "a=1; quillmer_token=abc", "abc"));
    EXPECT_FALSE(carriesToken("Bearer abcd", "quillmer_token=ab", "abc"));
    EXPECT_FALSE(carriesToken("Basic abc", "other=abc", "abc"));
    EXPECT_FALSE(carriesToken("Bearer ", std::nullopt, ""));
    EXPECT_EQ(makeAccessToken().size(), 64u);
    EXPECT_NE(makeAccessToken(), makeAccessToken());

    EXPECT_EQ(schemeURLForPath("/"), "quillmer-review://app/index.html");
    EXPECT_EQ(schemeURLForPath("/assets/app.js"), "quillmer-review://app/assets/app.js");
    EXPECT_EQ(schemeURLForPath("/evidence/B/frames/x.png"), "quillmer-review://evidence/B/frames/x.png");
    EXPECT_EQ(schemeURLForPath("/media/B/screen.mp4"), "quillmer-review://media/B/screen.mp4");
    EXPECT_EQ(schemeURLForPath("/quillmer-review/app/index.html"), "quillmer-review://app/index.html");
    EXPECT_EQ(schemeURLForPath("/bridge"), std::nullopt);
    EXPECT_EQ(schemeURLForPath("/events"), std::nullopt);
}

}  // namespace
}  // namespace quillmer::testing
