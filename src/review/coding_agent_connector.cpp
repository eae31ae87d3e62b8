#include "review/coding_agent_connector.h"

#include <unistd.h>

#include "core/json.h"
#include "core/utf8.h"
#include "platform/application_paths.h"

namespace quillmer {

namespace {

namespace fs = std::filesystem;

const fs::path kLauncher = "/usr/bin/env";
const std::string kServerName = "quillmer";
// /usr/bin/env itself always starts; this is its exit status when the tool is not on PATH.
constexpr int kToolNotFound = 127;

std::string tool(CodingAgentClient client) { return client == CodingAgentClient::codex ? "codex" : "claude"; }

// Codex masks environment values in its plain "mcp get" answer, so it is asked for JSON and its
// transport's command and library root are compared exactly; Claude Code prints both plainly.
bool namesCurrentServer(CodingAgentClient client, const std::string& output, const fs::path& server, const fs::path& exportsRoot) {
    if (client == CodingAgentClient::codex) {
        // The object is the last thing printed; notes on stderr may come before it.
        const size_t open = output.starts_with("{") ? 0 : output.find("\n{");
        try {
            const Json answer = parseJSON(output.substr(open == std::string::npos ? output.size() : open));
            const Json& transport = answer.at("transport");
            return transport.at("command") == server.string() &&
                   transport.at("env").at("QUILLMER_LIBRARY_ROOTS") == exportsRoot.string();
        } catch (const std::exception&) {
            return false;
        }
    }
    return output.find(server.string()) != std::string::npos && output.find(exportsRoot.string()) != std::string::npos;
}

std::optional<fs::path> executableFile(const fs::path& file) {
    std::error_code error;
    if (fs::is_regular_file(file, error)) return file;
    return std::nullopt;
}

}  // namespace

std::string_view rawValue(CodingAgentClient client) {
    return client == CodingAgentClient::codex ? "codex" : "claudeCode";
}

std::string_view displayName(CodingAgentClient client) {
    return client == CodingAgentClient::codex ? "Codex" : "Claude Code";
}

std::optional<CodingAgentClient> codingAgentClient(std::string_view raw) {
    for (const auto client : kCodingAgentClients)
        if (rawValue(client) == raw) return client;
    return std::nullopt;
}

MCPInstallerError MCPInstallerError::clientUnavailable(CodingAgentClient client) {
    return {MCPInstallerErrorCase::clientUnavailable,
            "Install " + std::string(displayName(client)) + " first, then connect it from Quillmer."};
}

MCPInstallerError MCPInstallerError::commandFailed(CodingAgentClient client, std::string_view output) {
    return {MCPInstallerErrorCase::commandFailed, std::string(displayName(client)) + " could not connect to Quillmer. " +
                                                      std::string(trimmingWhitespaceAndNewlines(output))};
}

MCPInstallerError MCPInstallerError::missingServer() {
    return {MCPInstallerErrorCase::missingServer, "Quillmer's coding-agent connector is missing from this build."};
}

std::optional<ToolRun> runTool(ProcessRunner& runner, const fs::path& executable, const std::vector<std::string>& arguments) {
    ProcessRequest request;
    request.executable = executable;
    request.arguments = arguments;
    request.mergeStandardError = true;
    const auto result = runner.run(request);
    if (!result.launched) return std::nullopt;
    ToolRun run{result.exitStatus, result.standardOutput + result.standardError};
    if (!isValidUTF8(run.output)) run.output.clear();
    return run;
}

std::optional<fs::path> locateServer(const fs::path& runningExecutable) {
    const auto relative = fs::path("libexec") / "quillmer" / "quillmer-mcp";
    if (auto installed = executableFile(runningExecutable.parent_path().parent_path() / relative)) return installed;
    // Programs in a build tree sit in sub-folders of it; its root is where CMakeCache.txt is, and
    // the build puts the server at the same place under it.
    std::error_code error;
    for (auto folder = runningExecutable.parent_path(); folder.has_relative_path(); folder = folder.parent_path())
        if (fs::exists(folder / "CMakeCache.txt", error)) return executableFile(folder / relative);
    return std::nullopt;
}

std::optional<fs::path> locateServer() {
    std::error_code error;
    const auto executable = fs::read_symlink("/proc/self/exe", error);
    if (error) return std::nullopt;
    return locateServer(executable);
}

fs::path exportsRootPath() { return applicationDataDirectory() / "Exports"; }

ConnectionStatus CodingAgentConnector::connectionStatus() const {
    ConnectionStatus status;
    status.serverAvailable = server_.has_value();
    for (const auto client : kCodingAgentClients) {
        std::vector<std::string> get = {tool(client), "mcp", "get", kServerName};
        if (client == CodingAgentClient::codex) get.push_back("--json");
        const auto run = runTool(*runner_, kLauncher, get);
        if (!run || run->exitStatus == kToolNotFound) status.unavailable.push_back(client);
        if (!run || run->exitStatus != 0) continue;
        const bool current = server_ && namesCurrentServer(client, run->output, *server_, exportsRoot_);
        (current ? status.connected : status.repairable).push_back(client);
    }
    return status;
}

std::string CodingAgentConnector::connect(CodingAgentClient client) const {
    if (!server_ || ::access(server_->c_str(), X_OK) != 0) throw MCPInstallerError::missingServer();
    const std::string environment = "QUILLMER_LIBRARY_ROOTS=" + exportsRoot_.string();
    const std::string name = tool(client);
    if (client == CodingAgentClient::codex) {
        runTool(*runner_, kLauncher, {name, "mcp", "remove", kServerName});
    } else {
        runTool(*runner_, kLauncher, {name, "mcp", "remove", kServerName, "--scope", "user"});
    }
    const auto run = client == CodingAgentClient::codex
        ? runTool(*runner_, kLauncher, {name, "mcp", "add", kServerName, "--env", environment, "--", server_->string()})
        : runTool(*runner_, kLauncher, {name, "mcp", "add", kServerName, "--scope", "user", "-e", environment, "--", server_->string()});
    if (!run || run->exitStatus == kToolNotFound) throw MCPInstallerError::clientUnavailable(client);
    if (run->exitStatus != 0) throw MCPInstallerError::commandFailed(client, run->output);
    return "Connected to " + std::string(displayName(client)) + ". Restart it once, then ask for a recent meeting.";
}

}  // namespace quillmer
