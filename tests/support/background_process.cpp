#include "support/background_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace quillmer::testing {

std::optional<std::filesystem::path> findExecutable(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::stringstream folders(path ? path : "/usr/bin:/bin");
    std::string folder;
    while (std::getline(folders, folder, ':')) {
        if (folder.empty()) continue;
        std::filesystem::path candidate = std::filesystem::path(folder) / name;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    return std::nullopt;
}

BackgroundProcess::BackgroundProcess(const Launch& launch) : logFile_(launch.logFile) {
    std::map<std::string, std::string> environment;
    for (char** entry = environ; *entry; ++entry) {
        std::string text = *entry;
        auto equals = text.find('=');
        if (equals != std::string::npos) environment[text.substr(0, equals)] = text.substr(equals + 1);
    }
    for (const auto& [name, value] : launch.environment) environment[name] = value;
    std::vector<std::string> environmentText;
    for (const auto& [name, value] : environment) environmentText.push_back(name + "=" + value);
    std::vector<char*> envp;
    for (auto& text : environmentText) envp.push_back(text.data());
    envp.push_back(nullptr);

    std::vector<std::string> argumentText{launch.executable.string()};
    argumentText.insert(argumentText.end(), launch.arguments.begin(), launch.arguments.end());
    std::vector<char*> argv;
    for (auto& text : argumentText) argv.push_back(text.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, launch.logFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    if (launch.descriptorForChild3 >= 0) posix_spawn_file_actions_adddup2(&actions, launch.descriptorForChild3, 3);
    const int result = posix_spawn(&pid_, launch.executable.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (result != 0) {
        pid_ = -1;
        throw std::runtime_error("could not start " + launch.executable.string() + ": " + std::strerror(result));
    }
}

BackgroundProcess::~BackgroundProcess() { terminate(); }

bool BackgroundProcess::isRunning() {
    if (pid_ < 0) return false;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return false;
    }
    return true;
}

void BackgroundProcess::terminate() { signalAndWait(SIGTERM, 5.0); }

void BackgroundProcess::kill() { signalAndWait(SIGKILL, 5.0); }

void BackgroundProcess::signalAndWait(int signal, double graceSeconds) {
    if (pid_ < 0) return;
    ::kill(pid_, signal);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(graceSeconds);
    int status = 0;
    while (::waitpid(pid_, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    pid_ = -1;
}

std::string BackgroundProcess::log() const {
    std::ifstream file(logFile_);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

}  // namespace quillmer::testing
