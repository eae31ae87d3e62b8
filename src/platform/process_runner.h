#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace quillmer {

struct ProcessRequest {
    std::filesystem::path executable;  // absolute path; no PATH search
    std::vector<std::string> arguments;
    std::optional<std::filesystem::path> workingDirectory;
    std::string standardInput;  // written to the child's stdin, which is then closed
    bool mergeStandardError = false;  // stderr into the stdout pipe, in the order written
};

struct ProcessResult {
    bool launched = false;
    std::string launchError;  // why it did not launch
    int exitStatus = -1;      // -1 when it ended by a signal
    int terminatingSignal = 0;
    std::string standardOutput;
    std::string standardError;

    bool succeeded() const { return launched && exitStatus == 0; }
};

// Runs a program to completion and collects both output streams.
class ProcessRunner {
public:
    virtual ~ProcessRunner() = default;
    virtual ProcessResult run(const ProcessRequest& request) = 0;
};

}  // namespace quillmer
