#pragma once

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace quillmer::testing {

// A one-thread HTTP/1.1 server on 127.0.0.1 and a free port that answers each GET with the
// response set for its path (404 otherwise), one request per connection, and remembers the
// request heads it received.
class LoopbackHttpServer {
public:
    struct Response {
        int status = 200;
        std::string body;
        std::string extraHeaders;  // full lines, each ending in "\r\n"
    };

    LoopbackHttpServer();
    ~LoopbackHttpServer();
    LoopbackHttpServer(const LoopbackHttpServer&) = delete;
    LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

    void respond(const std::string& path, Response response);
    std::string url(const std::string& path) const;
    // Every request head (request line and headers) received so far.
    std::vector<std::string> requests() const;

private:
    void serve();

    int listener_ = -1;
    unsigned port_ = 0;
    std::atomic<bool> stopping_{false};
    mutable std::mutex mutex_;
    std::map<std::string, Response> responses_;
    std::vector<std::string> requests_;
    std::thread thread_;
};

}  // namespace quillmer::testing
