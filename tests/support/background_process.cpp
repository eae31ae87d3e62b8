#include "support/background_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
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

    // fork rather than posix_spawn, for PR_SET_PDEATHSIG: a test that crashes still takes its
    // servers down with it. Between fork and exec only async-signal-safe calls.
    const pid_t parent = ::getpid();
    const int logDescriptor = ::open(launch.logFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (logDescriptor < 0) throw std::runtime_error("could not create " + launch.logFile.string());
    pid_ = ::fork();
    if (pid_ == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent) ::_exit(127);
        const int input = ::open("/dev/null", O_RDONLY);
        ::dup2(input, STDIN_FILENO);
        ::dup2(logDescriptor, STDOUT_FILENO);
        ::dup2(logDescriptor, STDERR_FILENO);
        if (launch.descriptorForChild3 >= 0) ::dup2(launch.descriptorForChild3, 3);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(logDescriptor);
    if (pid_ < 0) throw std::runtime_error("could not start " + launch.executable.string() + ": " + std::strerror(errno));
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
