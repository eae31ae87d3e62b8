#pragma once

// Registers quillmer-mcp with a command-line coding agent through the agent's own tool, run as
// "/usr/bin/env codex …" or "/usr/bin/env claude …" so the user's PATH finds it.
//
//     PosixProcessRunner runner;
//     CodingAgentConnector agents(runner, locateServer(), exportsRootPath());
//     ConnectionStatus status = agents.connectionStatus();     // asks each agent's "mcp get"
//     std::string message = agents.connect(CodingAgentClient::codex);  // or throws MCPInstallerError
//
// It keeps no state: every status is asked anew, and the registration lives in each agent's own
// configuration. Each call blocks its caller until the tools it runs have exited.

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/error.h"
#include "platform/process_runner.h"

namespace quillmer {

enum class CodingAgentClient { codex, claudeCode };
inline constexpr std::array kCodingAgentClients{CodingAgentClient::codex, CodingAgentClient::claudeCode};

std::string_view rawValue(CodingAgentClient client);                     // "codex", "claudeCode"
std::string_view displayName(CodingAgentClient client);                  // "Codex", "Claude Code"
std::optional<CodingAgentClient> codingAgentClient(std::string_view raw);  // from a raw value

enum class MCPInstallerErrorCase { clientUnavailable, commandFailed, missingServer };

class MCPInstallerError : public FamilyError<MCPInstallerErrorCase> {
public:
    static MCPInstallerError clientUnavailable(CodingAgentClient client);
    // `output` is shown trimmed of white space and line breaks at both ends.
    static MCPInstallerError commandFailed(CodingAgentClient client, std::string_view output);
    static MCPInstallerError missingServer();

private:
    using FamilyError::FamilyError;
};

struct ToolRun {
    int exitStatus = -1;
    std::string output;  // stdout and stderr together; empty when it was not UTF-8
};

// Runs the tool to completion; nothing when it could not be started.
std::optional<ToolRun> runTool(ProcessRunner& runner, const std::filesystem::path& executable,
                               const std::vector<std::string>& arguments);

// quillmer-mcp as installed beside the running program (<prefix>/libexec/quillmer/quillmer-mcp
// next to <prefix>/bin), else in the build tree the program was built in; nothing when absent.
std::optional<std::filesystem::path> locateServer(const std::filesystem::path& runningExecutable);
std::optional<std::filesystem::path> locateServer();

// $XDG_DATA_HOME/Quillmer/Exports, the root the server is given. Not created here.
std::filesystem::path exportsRootPath();

struct ConnectionStatus {
    std::vector<CodingAgentClient> connected;
    std::vector<CodingAgentClient> repairable;  // registered, but with another server or library root
    std::vector<CodingAgentClient> unavailable;  // the agent's tool is not on PATH
    bool serverAvailable = false;
};

class CodingAgentConnector {
public:
    CodingAgentConnector(ProcessRunner& runner, std::optional<std::filesystem::path> server,
                         std::filesystem::path exportsRoot)
        : runner_(&runner), server_(std::move(server)), exportsRoot_(std::move(exportsRoot)) {}

    ConnectionStatus connectionStatus() const;
    // Removes any earlier registration and registers the server again; returns the success message.
    std::string connect(CodingAgentClient client) const;

private:
    ProcessRunner* runner_;  // a pointer, so the connector can be copied and assigned
    std::optional<std::filesystem::path> server_;
    std::filesystem::path exportsRoot_;
};

}  // namespace quillmer
