#pragma once

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

namespace quillmer::testing {

// The header fields of a message head (start line first, lines ending in CRLF), names lower-cased.
std::map<std::string, std::string> headerFields(const std::string& head);

// An HTTP/1.1 server on 127.0.0.1 and a free port, one request per connection, each connection on
// its own thread (so delayed answers overlap as a real server's would). Each path answers with the
// responses scripted for it, in turn (the last one repeats; 404 when none), and every request is
// recorded. Stands in for the update feed, the relay and Gemini in tests.
class LoopbackHttpServer {
public:
    struct Response {
        int status = 200;
        std::string body;
        std::string extraHeaders;  // full lines, each ending in "\r\n"
        // Waited before the body is sent (after the head), so a client sees a slow body.
        std::chrono::milliseconds bodyDelay{0};
        // Waited before anything is sent: a slow answer.
        std::chrono::milliseconds delay{0};
        // Sends only this many bytes of the body, then closes: a connection lost mid-answer.
        std::optional<size_t> dropAfterBytes = std::nullopt;
    };

    struct Request {
        std::string method;
        std::string path;
        std::map<std::string, std::string> headers;  // names lower-cased
        std::string body;
    };

    LoopbackHttpServer();
    ~LoopbackHttpServer();
    LoopbackHttpServer(const LoopbackHttpServer&) = delete;
    LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

    void respond(const std::string& path, Response response);
    void respondInTurn(const std::string& path, std::vector<Response> responses);
    // Answers each request to `path` with what `answer` makes of it (called on the request's own
    // thread, so it must guard any state it keeps): a relay whose answers depend on the body.
    void respondWith(const std::string& path, std::function<Response(const Request&)> answer);
    std::string url(const std::string& path) const;
    // Every request head (request line and headers) received so far.
    std::vector<std::string> requests() const;
    std::vector<Request> recordedRequests() const;
    // The most requests that were being answered at the same time.
    int peakConcurrentRequests() const;

private:
    void serve();
    void answer(int client);
    Response next(const std::string& path);
    void sendAll(int client, const std::string& bytes) const;
    void wait(std::chrono::milliseconds delay) const;

    int listener_ = -1;
    unsigned port_ = 0;
    std::atomic<bool> stopping_{false};
    mutable std::mutex mutex_;
    std::map<std::string, std::deque<Response>> responses_;
    std::map<std::string, std::function<Response(const Request&)>> answerers_;
    std::vector<std::string> heads_;
    std::vector<Request> recorded_;
    int inFlight_ = 0;
    int peakInFlight_ = 0;
    std::vector<std::thread> connections_;  // joined by serve() before it returns
    std::thread thread_;
};

// Records every wait a retrying client makes between attempts instead of sleeping.
struct RecordedWaits {
    std::mutex mutex;
    std::vector<long long> milliseconds;

    auto sleeper() {
        return [this](std::chrono::milliseconds delay, std::stop_token) {
            std::lock_guard lock(mutex);
            milliseconds.push_back(delay.count());
        };
    }
};

}  // namespace quillmer::testing
