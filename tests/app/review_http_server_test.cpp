#include "app/review_http_server.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <future>

#include "support/bridge_test_fixture.h"
#include "support/http_test_client.h"
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

    template <typename Requests>
    auto serveWhile(Requests requests) {
        return testing::serveWhile(std::move(requests), [this] { queue.runPending(); });
    }
    // Sends the request from another thread while this one runs the GLib main context the
    // server (and the bridge) live on.
    HttpAnswer send(const std::string& head, const std::string& body = "", bool keepBody = true,
                    std::function<bool(const std::string&)> stopWhen = {}) {
        std::string request = head + "Connection: close\r\n";
        if (!body.empty()) request += "Content-Length: " + std::to_string(body.size()) + "\r\n";
        request += "\r\n" + body;
        return serveWhile([&] { return httpRequest(server->port(), request, keepBody, stopWhen); });
    }
    std::string origin() const { return "http://127.0.0.1:" + std::to_string(server->port()); }
    std::string host() const { return "Host: 127.0.0.1:" + std::to_string(server->port()) + "\r\n"; }
    std::string authorised() const { return host() + "Authorization: Bearer " + kToken + "\r\n"; }
    std::string cookie() const { return host() + "Cookie: quillmer_token=" + kToken + "\r\n"; }
    static constexpr const char* kJSON = "Content-Type: application/json\r\n";
    // Ends reading an event stream once its first event is in.
    static bool firstEvent(const std::string& body) { return body.find("\n\n") != std::string::npos; }
    HttpAnswer bridgeCall(const std::string& body, const std::string& headers = "") {
        return send("POST /bridge HTTP/1.1\r\n" + (headers.empty() ? authorised() : headers) + kJSON, body);
    }

    std::shared_ptr<ReviewHttpServer> server;
};

TEST_F(HttpServerTest, RefusesEveryRequestThatIsNotFromItsOwnPageBeforeAnyBridgeCallRuns) {
    const auto folder = recordShortSession();
    const std::string port = std::to_string(server->port());
    const std::string deletion = R"({"id":"x","method":"capture.deleteSession","args":[")" + folder.filename().string() + "\"]}";
    const std::string rebound = "Host: attacker.example:" + port + "\r\n";
    const std::string otherPort = "Origin: http://127.0.0.1:" + std::to_string(server->port() + 1) + "\r\n";
    const std::string big(kMaxBridgeBodyBytes + 1, ' ');
    const std::tuple<std::string, std::string, int> cases[] = {
        {"GET /events HTTP/1.1\r\n" + host(), "", 401},
        {"GET /?token=wrong HTTP/1.1\r\n" + host(), "", 401},
        {"GET /assets/app.js HTTP/1.1\r\n" + host() + "Authorization: Bearer " + kToken.substr(1) + "x\r\n", "", 401},
        {"POST /bridge HTTP/1.1\r\n" + host() + kJSON, deletion, 401},
        {"GET /?token=" + kToken + " HTTP/1.1\r\n" + rebound, "", 403},
        {"GET /assets/app.js HTTP/1.1\r\nAuthorization: Bearer " + kToken + "\r\n" + rebound, "", 403},
        {"GET /assets/app.js HTTP/1.1\r\nHost: localhost:1\r\nAuthorization: Bearer " + kToken + "\r\n", "", 403},
        // The cookie reaches this server from any page of this computer: only its own page may use it.
        {"POST /bridge HTTP/1.1\r\n" + cookie() + kJSON, deletion, 403},
        {"POST /bridge HTTP/1.1\r\n" + cookie() + otherPort + kJSON, deletion, 403},
        {"POST /bridge HTTP/1.1\r\n" + cookie() + "Origin: null\r\n" + kJSON, deletion, 403},
        {"POST /bridge HTTP/1.1\r\n" + cookie() + "Origin: " + origin() + "\r\nSec-Fetch-Site: same-site\r\n" + kJSON, deletion, 403},
        {"POST /bridge HTTP/1.1\r\n" + authorised() + otherPort + kJSON, deletion, 403},
        {"GET /events HTTP/1.1\r\n" + cookie(), "", 403},
        {"GET /events HTTP/1.1\r\n" + cookie() + "Sec-Fetch-Site: cross-site\r\n", "", 403},
        // A form or a "simple" cross-origin fetch cannot send JSON.
        {"POST /bridge HTTP/1.1\r\n" + cookie() + "Origin: " + origin() + "\r\nContent-Type: text/plain\r\n", deletion, 415},
        {"POST /bridge HTTP/1.1\r\n" + authorised(), deletion, 415},
        {"POST /bridge HTTP/1.1\r\n" + authorised() + kJSON, big, 413},
        {"POST /bridge HTTP/1.1\r\n" + authorised() + kJSON + "Transfer-Encoding: chunked\r\n", "0\r\n\r\n", 411},
        {"GET /bridge HTTP/1.1\r\n" + authorised(), "", 405},
        {"POST /events HTTP/1.1\r\n" + authorised() + kJSON, "{}", 405},
        {"PUT /assets/app.js HTTP/1.1\r\n" + authorised(), "", 405},
    };
    for (const auto& [head, body, status] : cases) EXPECT_EQ(send(head, body).status, status) << head;
    EXPECT_TRUE(trash.moved.empty()) << "a refused call ran";

    // The page itself: same origin by Origin (fetch) or by Sec-Fetch-Site alone (EventSource).
    EXPECT_EQ(send("GET /events HTTP/1.1\r\n" + cookie() + "Sec-Fetch-Site: same-origin\r\n", "", true, firstEvent).status, 200);
    EXPECT_EQ(bridgeCall(deletion, cookie() + "Origin: " + origin() + "\r\nSec-Fetch-Site: same-origin\r\n").status, 200);
    EXPECT_EQ(trash.moved, std::vector<std::filesystem::path>{folder});
}

// The page opened with the token gets a strict HttpOnly cookie; its bridge calls answer with the
// reply object and its event stream starts with a snapshot.
TEST_F(HttpServerTest, ThePageGetsACookieBridgeRepliesAndASnapshotEvent) {
    const HttpAnswer page = send("GET /?token=" + kToken + " HTTP/1.1\r\nHost: localhost:" + std::to_string(server->port()) + "\r\n");
    EXPECT_EQ(page.status, 200);
    EXPECT_EQ(page.body, "<!doctype html><title>Quillmer</title>");
    EXPECT_EQ(page.headers.at("set-cookie"), "quillmer_token=" + kToken + "; HttpOnly; SameSite=Strict; Path=/");
    const HttpAnswer script = send("GET /assets/app.js HTTP/1.1\r\n" + host() + "Cookie: theme=dark; quillmer_token=" + kToken + "\r\n");
    EXPECT_EQ(script.status, 200);
    EXPECT_EQ(script.headers.at("content-type"), "text/javascript");

    const HttpAnswer answer = bridgeCall(R"({"id":"17-1","method":"capture.state","args":[]})");
    EXPECT_EQ(answer.status, 200);
    const Json reply = parseJSON(answer.body);
    EXPECT_EQ(reply["id"], "17-1");
    EXPECT_EQ(reply["ok"], true);
    EXPECT_EQ(reply["value"]["stage"], "idle");
    EXPECT_EQ(parseJSON(bridgeCall(R"({"id":"17-2","method":"no.such"})").body)["error"],
              "This version of Quillmer does not support that operation.");
    EXPECT_EQ(bridgeCall("[1]").status, 400);

    const HttpAnswer events = send("GET /events HTTP/1.1\r\n" + authorised(), "", true, firstEvent);
    EXPECT_EQ(events.status, 200);
    EXPECT_EQ(events.headers.at("content-type"), "text/event-stream");
    const size_t data = events.body.find("data: ");
    ASSERT_NE(data, std::string::npos);
    EXPECT_EQ(parseJSON(events.body.substr(data + 6, events.body.find("\n\n", data) - data - 6))["stage"], "idle");
}

TEST_F(HttpServerTest, EvidenceAndMediaPathsServeWhatTheSchemeWouldWithRangesAndStreamHugeVideos) {
    exportedSession();
    const auto video = *state().lastSessionDirectory / "screen.mp4";
    const std::string bytes = alphabetBytes(1000);
    writeTestFile(video, bytes);
    const std::string id = parseJSON(bridgeCall(R"({"id":"r","method":"capture.restore"})").body)["value"]["bundle"]["id"];

    const HttpAnswer frame = send("GET /evidence/" + id + "/frames/a%20b-1.png HTTP/1.1\r\n" + authorised());
    EXPECT_EQ(frame.status, 200);
    EXPECT_EQ(frame.body, "png");
    EXPECT_EQ(frame.headers.at("content-type"), "image/png");
    EXPECT_EQ(send("GET /quillmer-review/evidence/" + id + "/frames/a%20b-1.png HTTP/1.1\r\n" + authorised()).body, "png");

    const std::string media = "GET /media/" + id + "/screen.mp4 HTTP/1.1\r\n" + authorised();
    const HttpAnswer part = send(media + "Range: bytes=100-\r\n");
    EXPECT_EQ(part.status, 206);
    EXPECT_EQ(part.headers.at("content-range"), "bytes 100-999/1000");
    EXPECT_EQ(part.headers.at("content-length"), "900");
    EXPECT_EQ(part.body, bytes.substr(100));
    EXPECT_EQ(send("GET /media/unknown/screen.mp4 HTTP/1.1\r\n" + authorised()).status, 404);

    // A huge video without a range streams without growing memory.
    constexpr uint64_t kSize = 768ull << 20;  // sparse: costs no disk
    std::filesystem::resize_file(video, kSize);
    HttpAnswer whole;
    EXPECT_LT(peakMemoryGrowthKiB([&] { whole = send(media, "", false); }), 64 * 1024) << "kilobytes";
    EXPECT_EQ(whole.status, 200);
    EXPECT_EQ(whole.headers.at("content-length"), std::to_string(kSize));
    EXPECT_EQ(whole.bodyBytes, kSize);
}

size_t openDescriptors() {
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                                             std::filesystem::directory_iterator()));
}

TEST_F(HttpServerTest, KeepsAnsweringThousandsOfRequestsUnderALowDescriptorLimit) {
    rlimit original{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &original), 0);
    rlimit low = original;
    low.rlim_cur = 256;
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
    const size_t before = openDescriptors();
    const unsigned port = server->port();
    const std::string state = R"({"id":"s","method":"capture.state"})";
    const std::pair<std::string, int> requests[] = {
        {"GET /assets/app.js HTTP/1.1\r\n" + authorised() + "Connection: keep-alive\r\n\r\n", 200},
        {"GET /assets/app.js HTTP/1.1\r\n" + host() + "\r\n", 401},
        {"POST /bridge HTTP/1.1\r\n" + authorised() + kJSON + "Content-Length: " + std::to_string(state.size()) + "\r\n\r\n" + state, 200},
        {"GET /events HTTP/1.1\r\n" + authorised() + "\r\n", 200},
    };
    // Eight clients at once that hang up as soon as they have their answer, as a browser closing a tab does.
    const auto run = [&](size_t count, size_t offset) {
        size_t answered = 0;
        for (size_t i = 0; i < count; ++i) {
            const auto& [request, status] = requests[(i + offset) % std::size(requests)];
            answered += httpRequest(port, request, true, firstEvent).status == status;
        }
        return answered;
    };
    EXPECT_EQ(serveWhile([&] {
                  std::vector<std::future<size_t>> clients;
                  for (size_t c = 0; c < 8; ++c) clients.push_back(std::async(std::launch::async, run, 500, c));
                  size_t answered = 0;
                  for (auto& client : clients) answered += client.get();
                  return answered;
              }),
              4000u);
    // Let the server notice the last hang-ups; then no connection may be left open (a few descriptors
    // GLib opens once, on first use, are allowed for).
    constexpr size_t kOpenedOnce = 4;
    for (int i = 0; i < 2000 && openDescriptors() > before + kOpenedOnce; ++i) {
        g_main_context_iteration(nullptr, FALSE);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_LE(openDescriptors(), before + kOpenedOnce);
    setrlimit(RLIMIT_NOFILE, &original);
}

TEST_F(HttpServerTest, ALargeBodyIsRefusedWithoutBeingKept) {
    constexpr size_t kBlock = 1 << 20, kBlocks = 256;
    const std::string head = "POST /bridge HTTP/1.1\r\n" + host() + kJSON + "Connection: close\r\nContent-Length: " +
                             std::to_string(kBlock * kBlocks) + "\r\n\r\n";
    const auto sendBody = [&] {
        const int fd = connectLoopback(server->port());
        if (fd < 0) return 0;
        const std::string block(kBlock, '{');
        // The server may answer and hang up before the whole body is sent.
        bool open = sendAll(fd, head);
        for (size_t i = 0; open && i < kBlocks; ++i) open = sendAll(fd, block);
        char answer[16] = {};
        const bool got = ::recv(fd, answer, 12, MSG_WAITALL) == 12;
        ::close(fd);
        return got ? std::atoi(answer + 9) : 0;
    };
    int status = 0;
    EXPECT_LT(peakMemoryGrowthKiB([&] { status = serveWhile(sendBody); }), 64 * 1024) << "kilobytes";
    EXPECT_EQ(status, 401);
}

TEST(HttpAccessTest, HostTokenCookieAndMediaTypeRules) {
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

    for (const char* json : {"application/json", "Application/JSON; charset=utf-8", " application/json "})
        EXPECT_TRUE(isJSONMediaType(json)) << json;
    for (const char* other : {"text/plain", "application/jsonx", "application/x-www-form-urlencoded", ""})
        EXPECT_FALSE(isJSONMediaType(other)) << other;
    EXPECT_FALSE(isJSONMediaType(std::nullopt));
}

}  // namespace
}  // namespace quillmer::testing
