#include "loopback_http_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <stdexcept>

namespace quillmer::testing {

HttpAnswer httpRequest(uint16_t port, const std::string& method, const std::string& path,
                       const std::string& extraHeaders, bool keepBody) {
    const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (socket < 0) throw std::runtime_error("socket failed");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(socket);
        throw std::runtime_error("connect failed");
    }
    const std::string request = method + " " + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
                                "\r\n" + extraHeaders + "Connection: close\r\n\r\n";
    if (::send(socket, request.data(), request.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(request.size())) {
        ::close(socket);
        throw std::runtime_error("send failed");
    }

    HttpAnswer answer;
    std::string head;
    bool headDone = false;
    std::array<char, 64 * 1024> buffer{};
    for (;;) {
        const ssize_t got = ::recv(socket, buffer.data(), buffer.size(), 0);
        if (got <= 0) break;
        std::string_view chunk(buffer.data(), static_cast<size_t>(got));
        if (!headDone) {
            head.append(chunk);
            const size_t end = head.find("\r\n\r\n");
            if (end == std::string::npos) continue;
            headDone = true;
            chunk = std::string_view(head).substr(end + 4);
            if (keepBody) answer.body.append(chunk);
            answer.bodyLength += chunk.size();
            head.resize(end);
            continue;
        }
        if (keepBody) answer.body.append(chunk);
        answer.bodyLength += chunk.size();
    }
    ::close(socket);

    size_t lineStart = 0;
    bool first = true;
    while (lineStart <= head.size()) {
        const size_t lineEnd = std::min(head.find("\r\n", lineStart), head.size());
        const std::string line = head.substr(lineStart, lineEnd - lineStart);
        if (first) {
            if (line.size() >= 12) answer.status = std::stoi(line.substr(9, 3));
            first = false;
        } else if (const size_t colon = line.find(':'); colon != std::string::npos) {
            std::string name = line.substr(0, colon);
            std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
            answer.headers[name] = line.substr(line.find_first_not_of(' ', colon + 1));
        }
        lineStart = lineEnd + 2;
    }
    return answer;
}

}  // namespace quillmer::testing
