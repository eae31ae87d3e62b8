#include "support/private_x_server.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

namespace quillmer::testing {

std::optional<std::string> PrivateXServer::unavailableReason() {
    if (!findExecutable("Xvfb")) return "Xvfb is not installed (Debian package xvfb).";
    return std::nullopt;
}

PrivateXServer::PrivateXServer(int width, int height) {
    auto executable = findExecutable("Xvfb");
    if (!executable) throw std::runtime_error(*unavailableReason());

    // -displayfd: Xvfb picks a free display number itself and writes it once it accepts clients.
    int ready[2];
    if (::pipe2(ready, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    BackgroundProcess::Launch launch;
    launch.executable = *executable;
    launch.arguments = {"-displayfd", "3", "-screen", "0", std::to_string(width) + "x" + std::to_string(height) + "x24",
                        "-nolisten", "tcp", "-noreset"};
    launch.logFile = folder_ / "xvfb.log";
    launch.descriptorForChild3 = ready[1];
    try {
        process_ = std::make_unique<BackgroundProcess>(launch);
    } catch (...) {
        ::close(ready[0]);
        ::close(ready[1]);
        throw;
    }
    ::close(ready[1]);

    std::string number;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (number.empty() || number.back() != '\n') {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd wait{ready[0], POLLIN, 0};
        if (left.count() <= 0 || ::poll(&wait, 1, static_cast<int>(left.count())) <= 0) break;
        char buffer[16];
        const ssize_t count = ::read(ready[0], buffer, sizeof buffer);
        if (count <= 0) break;
        number.append(buffer, static_cast<size_t>(count));
    }
    ::close(ready[0]);
    if (number.empty() || number.back() != '\n') {
        const std::string log = process_->log();
        process_.reset();
        throw std::runtime_error("Xvfb did not start: " + log);
    }
    number.pop_back();
    displayName_ = ":" + number;
    display_ = std::make_unique<ScopedEnvironment>("DISPLAY", displayName_);
}

PrivateXServer::~PrivateXServer() {
    display_.reset();
    process_.reset();
    removeLeftovers();
}

void PrivateXServer::kill() {
    process_->kill();
    removeLeftovers();
}

void PrivateXServer::removeLeftovers() {
    // A killed server leaves its socket and lock file behind; it was ours, so they can go.
    std::error_code ignored;
    const std::string number = displayName_.substr(1);
    std::filesystem::remove("/tmp/.X11-unix/X" + number, ignored);
    std::filesystem::remove("/tmp/.X" + number + "-lock", ignored);
}

}  // namespace quillmer::testing
