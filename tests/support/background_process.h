#pragma once

#include <sys/types.h>

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace quillmer::testing {

// The program's path when it is on $PATH.
std::optional<std::filesystem::path> findExecutable(const std::string& name);

// A helper program (a display or sound server) running beside a test; ended when the object goes.
class BackgroundProcess {
public:
    struct Launch {
        std::filesystem::path executable;
        std::vector<std::string> arguments;            // without the program name
        std::map<std::string, std::string> environment;  // added to (or replacing in) ours
        std::filesystem::path logFile;                 // receives stdout and stderr
        int descriptorForChild3 = -1;                  // passed to the child as its fd 3
    };

    // Throws std::runtime_error when it cannot be started.
    explicit BackgroundProcess(const Launch& launch);
    ~BackgroundProcess();
    BackgroundProcess(const BackgroundProcess&) = delete;
    BackgroundProcess& operator=(const BackgroundProcess&) = delete;

    bool isRunning();
    // SIGTERM, then SIGKILL if it has not ended within a few seconds; waits for it.
    void terminate();
    // SIGKILL at once, as when a server crashes; waits for it.
    void kill();
    std::string log() const;

private:
    void signalAndWait(int signal, double graceSeconds);

    pid_t pid_ = -1;
    std::filesystem::path logFile_;
};

}  // namespace quillmer::testing
