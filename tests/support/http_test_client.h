#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <glib.h>

#include "support/loopback_http_server.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <future>
#include <map>
#include <string>
#include <string_view>
#include <thread>

namespace quillmer::testing {

struct HttpAnswer {
    int status = 0;
    std::map<std::string, std::string> headers;  // names lower-cased
    std::string body;
    uint64_t bodyBytes = 0;  // counted even when the body is not kept
};

// A connection to `port` on 127.0.0.1, or -1. A server that stops answering fails a read on it
// after 30 seconds instead of hanging the test.
inline int connectLoopback(unsigned port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{AF_INET, htons(static_cast<uint16_t>(port)), {htonl(INADDR_LOOPBACK)}, {}};
    const timeval patience{30, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return fd;
    ::close(fd);
    return -1;
}

// Sends all of `bytes`; false once the peer stops taking them.
inline bool sendAll(int fd, std::string_view bytes) {
    for (ssize_t n = 0; !bytes.empty(); bytes.remove_prefix(static_cast<size_t>(n)))
        if ((n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL)) <= 0) return false;
    return true;
}

// One request (head and body as sent) over a fresh loopback connection, read to the end. With
// `keepBody` false the body is only counted, so a huge response costs no memory here.
// `stopWhen` may end the read early (event streams never end on their own).
inline HttpAnswer httpRequest(unsigned port, const std::string& request, bool keepBody = true,
                              const std::function<bool(const std::string&)>& stopWhen = {}) {
    HttpAnswer answer;
    const int fd = connectLoopback(port);
    if (fd < 0) return answer;
    sendAll(fd, request);
    std::string head;
    bool inBody = false;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        if (inBody) {
            answer.bodyBytes += static_cast<uint64_t>(n);
            if (keepBody) answer.body.append(buffer, static_cast<size_t>(n));
        } else {
            head.append(buffer, static_cast<size_t>(n));
            const size_t end = head.find("\r\n\r\n");
            if (end == std::string::npos) continue;
            inBody = true;
            answer.bodyBytes = head.size() - end - 4;
            if (keepBody) answer.body = head.substr(end + 4);
            head.resize(end);
        }
        if (stopWhen && stopWhen(answer.body)) break;
    }
    ::close(fd);
    if (head.size() > 12) answer.status = std::stoi(head.substr(9, 3));
    answer.headers = headerFields(head);
    return answer;
}

// "METHOD path" with this server's Host, "Connection: close" and `extraHeaders` (each ending in CRLF).
inline HttpAnswer httpRequest(unsigned port, const std::string& method, const std::string& path,
                              const std::string& extraHeaders = "", bool keepBody = true) {
    return httpRequest(port, method + " " + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
                                 "\r\nConnection: close\r\n" + extraHeaders + "\r\n",
                       keepBody);
}

// Runs `client` on another thread while this one turns the default GLib main context, where the
// server under test lives; `eachTurn` runs after every turn.
template <typename Client>
auto serveWhile(Client client, const std::function<void()>& eachTurn = {}) {
    auto done = std::async(std::launch::async, std::move(client));
    while (done.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready) {
        g_main_context_iteration(nullptr, FALSE);
        if (eachTurn) eachTurn();
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return done.get();
}

// How far this process's peak resident memory grew, in kilobytes, while `work` ran: a server that
// held a large body in memory shows here.
template <typename Work>
long peakMemoryGrowthKiB(Work work) {
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    work();
    getrusage(RUSAGE_SELF, &after);
    return after.ru_maxrss - before.ru_maxrss;
}

// `size` bytes of a repeating alphabet, so any range of them is recognisable.
inline std::string alphabetBytes(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>('a' + i % 26);
    return bytes;
}

}  // namespace quillmer::testing
