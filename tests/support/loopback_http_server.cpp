#include "support/loopback_http_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <stdexcept>

namespace quillmer::testing {

std::map<std::string, std::string> headerFields(const std::string& head) {
    std::map<std::string, std::string> fields;
    for (size_t line = head.find("\r\n"); line != std::string::npos;) {
        const size_t end = head.find("\r\n", line + 2);
        const std::string text = head.substr(line + 2, end == std::string::npos ? std::string::npos : end - line - 2);
        if (const size_t colon = text.find(':'); colon != std::string::npos) {
            std::string name = text.substr(0, colon);
            for (auto& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            const size_t first = text.find_first_not_of(" \t", colon + 1);
            fields[name] = first == std::string::npos ? "" : text.substr(first, text.find_last_not_of(" \t") - first + 1);
        }
        line = end;
    }
    return fields;
}


LoopbackHttpServer::LoopbackHttpServer() {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 8) != 0 || ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("the loopback HTTP server could not listen");
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { serve(); });
}

LoopbackHttpServer::~LoopbackHttpServer() {
    stopping_ = true;
    thread_.join();
    ::close(listener_);
}

void LoopbackHttpServer::respond(const std::string& path, Response response) {
    respondInTurn(path, {std::move(response)});
}

void LoopbackHttpServer::respondInTurn(const std::string& path, std::vector<Response> responses) {
    std::lock_guard lock(mutex_);
    responses_[path] = std::deque<Response>(responses.begin(), responses.end());
}

void LoopbackHttpServer::respondWith(const std::string& path, std::function<Response(const Request&)> answer) {
    std::lock_guard lock(mutex_);
    answerers_[path] = std::move(answer);
}

std::string LoopbackHttpServer::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<std::string> LoopbackHttpServer::requests() const {
    std::lock_guard lock(mutex_);
    return heads_;
}

std::vector<LoopbackHttpServer::Request> LoopbackHttpServer::recordedRequests() const {
    std::lock_guard lock(mutex_);
    return recorded_;
}

LoopbackHttpServer::Response LoopbackHttpServer::next(const std::string& path) {
    const auto found = responses_.find(path);
    if (found == responses_.end() || found->second.empty()) return {404, "", "", {}, {}};
    Response response = found->second.front();
    if (found->second.size() > 1) found->second.pop_front();
    return response;
}

void LoopbackHttpServer::sendAll(int client, const std::string& bytes) const {
    for (size_t sent = 0; sent < bytes.size() && !stopping_;) {
        const ssize_t n = ::send(client, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return;  // the client gave up (a size limit or a time-out)
        sent += static_cast<size_t>(n);
    }
}

int LoopbackHttpServer::peakConcurrentRequests() const {
    std::lock_guard lock(mutex_);
    return peakInFlight_;
}

void LoopbackHttpServer::wait(std::chrono::milliseconds delay) const {
    // In short steps so the server still stops promptly.
    for (auto waited = std::chrono::milliseconds(0); waited < delay && !stopping_; waited += std::chrono::milliseconds(5))
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

void LoopbackHttpServer::serve() {
    while (!stopping_) {
        pollfd wait{listener_, POLLIN, 0};
        if (::poll(&wait, 1, 50) <= 0) continue;
        const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client >= 0) connections_.emplace_back([this, client] { answer(client); });
    }
    for (auto& connection : connections_) connection.join();
}

void LoopbackHttpServer::answer(int client) {
    std::string received;
    char buffer[65536];
    size_t headEnd = std::string::npos;
    while ((headEnd = received.find("\r\n\r\n")) == std::string::npos) {
        const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        received.append(buffer, static_cast<size_t>(n));
    }
    Request request;
    const std::string head = received.substr(0, headEnd);
    const size_t pathStart = head.find(' ') + 1;
    request.method = head.substr(0, pathStart - 1);
    request.path = head.substr(pathStart, head.find(' ', pathStart) - pathStart);
    request.headers = headerFields(head);
    if (headEnd != std::string::npos) {
        const auto length = request.headers.find("content-length");
        const size_t expected = length == request.headers.end() ? 0 : std::strtoul(length->second.c_str(), nullptr, 10);
        request.body = received.substr(headEnd + 4);
        while (request.body.size() < expected) {
            const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
            if (n <= 0) break;
            request.body.append(buffer, static_cast<size_t>(n));
        }
    }
    Response response;
    std::function<Response(const Request&)> answerer;
    {
        std::lock_guard lock(mutex_);
        if (const auto found = answerers_.find(request.path); found != answerers_.end()) answerer = found->second;
    }
    if (answerer) response = answerer(request);
    {
        std::lock_guard lock(mutex_);
        heads_.push_back(head);
        if (!answerer) response = next(request.path);
        recorded_.push_back(std::move(request));
        peakInFlight_ = std::max(peakInFlight_, ++inFlight_);
    }
    wait(response.delay);
    sendAll(client, "HTTP/1.1 " + std::to_string(response.status) + " X\r\nContent-Length: " +
                        std::to_string(response.body.size()) + "\r\nConnection: close\r\n" + response.extraHeaders +
                        "\r\n");
    wait(response.bodyDelay);
    sendAll(client, response.dropAfterBytes ? response.body.substr(0, *response.dropAfterBytes) : response.body);
    {
        std::lock_guard lock(mutex_);
        --inFlight_;
    }
    ::close(client);
}

}  // namespace quillmer::testing
