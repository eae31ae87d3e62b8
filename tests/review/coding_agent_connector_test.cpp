#include "review/coding_agent_connector.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <sstream>

#include "core/atomic_file.h"
#include "platform/linux/posix_process_runner.h"
#include "support/temporary_folder.h"
#include "support/thrown.h"

namespace quillmer {
namespace {

namespace fs = std::filesystem;
using testing::TemporaryFolder;
using testing::writeTestFile;

// Answers like the agents' own tools: "mcp add" records the command and library root (or fails
// with what <tool>.fail holds); "mcp get" prints them as each tool does (codex hides environment
// values except in --json) or exits 1 with the tool's not-found sentence. Every call appends its
// arguments, one per line, to <tool>.log.
constexpr const char* kStandIn = R"sh(#!/bin/sh
dir=${0%/*}; tool=${0##*/}
for a in "$@"; do printf '%s\n' "$a"; done >> "$dir/$tool.log"; echo . >> "$dir/$tool.log"
case "$2" in
  get) if [ ! -f "$dir/$tool.registered" ]; then echo "No MCP server named '$3' found." >&2; exit 1; fi
       { read -r command; read -r roots; } < "$dir/$tool.registered"
       if [ "$tool" = claude ]; then printf 'quillmer:\n  Command: %s\n  Environment:\n    QUILLMER_LIBRARY_ROOTS=%s\n' "$command" "$roots"
       elif [ "$4" = --json ]; then echo 'WARNING: a note on stderr' >&2
         printf '{"name":"quillmer","transport":{"type":"stdio","command":"%s","args":[],"env":{"QUILLMER_LIBRARY_ROOTS":"%s"}}}\n' "$command" "$roots"
       else printf 'quillmer\n  command: %s\n  env: QUILLMER_LIBRARY_ROOTS=*****\n' "$command"; fi
       exit 0 ;;
  remove) /bin/rm -f "$dir/$tool.registered"; exit 0 ;;
  add) if [ -f "$dir/$tool.fail" ]; then /bin/cat "$dir/$tool.fail" >&2; exit 1; fi
       for a in "$@"; do case "$a" in QUILLMER_LIBRARY_ROOTS=*) roots=${a#*=} ;; esac; command=$a; done
       printf '%s\n%s\n' "$command" "$roots" > "$dir/$tool.registered"; exit 0 ;;
esac
exit 2
)sh";

class CodingAgentConnectorTest : public ::testing::Test {
protected:
    CodingAgentConnectorTest() {
        writeTestFile(server, "#!/bin/sh\n");
        ::chmod(server.c_str(), 0755);
        installTool("codex");
        installTool("claude");
    }
    void installTool(const std::string& name) {
        writeTestFile(tools / name, kStandIn);
        ::chmod((tools / name).c_str(), 0755);
    }
    std::vector<std::string> calls(const std::string& name) {
        std::error_code missing;
        if (!fs::exists(tools / (name + ".log"), missing)) return {};
        std::vector<std::string> lines;
        std::string text = readWholeFile(tools / (name + ".log")), line;
        for (std::istringstream stream(text); std::getline(stream, line);) lines.push_back(line);
        return lines;
    }
    CodingAgentConnector connector(std::optional<fs::path> at) { return {runner, std::move(at), exports}; }

    TemporaryFolder tools, data;
    testing::ScopedEnvironment path{"PATH", tools.path().string()};
    fs::path server = data / "libexec" / "quillmer" / "quillmer-mcp", exports = data / "Exports";
    PosixProcessRunner runner;
};

TEST_F(CodingAgentConnectorTest, ConnectRemovesThenRegistersWithTheExactArgumentsAndThenReadsConnected) {
    const std::string env = "QUILLMER_LIBRARY_ROOTS=" + exports.string();
    const struct {
        CodingAgentClient client;
        std::string tool, message;
        std::vector<std::string> expected;
    } cases[] = {
        {CodingAgentClient::codex, "codex", "Connected to Codex. Restart it once, then ask for a recent meeting.",
         {"mcp", "remove", "quillmer", ".", "mcp", "add", "quillmer", "--env", env, "--", server.string(), "."}},
        {CodingAgentClient::claudeCode, "claude", "Connected to Claude Code. Restart it once, then ask for a recent meeting.",
         {"mcp", "remove", "quillmer", "--scope", "user", ".", "mcp", "add", "quillmer", "--scope", "user", "-e", env, "--",
          server.string(), "."}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(connector(server).connect(c.client), c.message);
        EXPECT_EQ(calls(c.tool), c.expected);
    }
    fs::remove(tools / "codex.log");
    const auto status = connector(server).connectionStatus();
    EXPECT_EQ(status.connected, (std::vector{CodingAgentClient::codex, CodingAgentClient::claudeCode}));
    // Codex shows the library root only in its JSON form.
    EXPECT_EQ(calls("codex"), (std::vector<std::string>{"mcp", "get", "quillmer", "--json", "."}));
    EXPECT_TRUE(status.repairable.empty() && status.serverAvailable);
}

TEST_F(CodingAgentConnectorTest, ARegistrationOfAnotherServerOrRootIsRepairableAndAnAbsentOneIsNeither) {
    writeTestFile(tools / "codex.registered", "/opt/old/quillmer-mcp\n" + exports.string() + "\n");
    writeTestFile(tools / "claude.registered", server.string() + "\n/elsewhere\n");
    EXPECT_EQ(connector(server).connectionStatus().repairable,
              (std::vector{CodingAgentClient::codex, CodingAgentClient::claudeCode}));
    fs::remove(tools / "codex.registered");
    const auto status = connector(server).connectionStatus();
    EXPECT_EQ(status.repairable, std::vector{CodingAgentClient::claudeCode});
    EXPECT_TRUE(status.connected.empty());
}

TEST_F(CodingAgentConnectorTest, FailuresSayWhatToDo) {
    fs::remove(tools / "claude");
    EXPECT_EQ(connector(server).connectionStatus().unavailable, std::vector{CodingAgentClient::claudeCode});
    const auto failure = [&](CodingAgentClient client) {
        return std::string(testing::thrown<MCPInstallerError>([&] { connector(server).connect(client); }).value().what());
    };
    EXPECT_EQ(failure(CodingAgentClient::claudeCode), "Install Claude Code first, then connect it from Quillmer.");
    writeTestFile(tools / "codex.fail", "  config.toml is read-only\n\n");
    EXPECT_EQ(failure(CodingAgentClient::codex), "Codex could not connect to Quillmer. config.toml is read-only");

    fs::remove(tools / "codex.log");
    for (const auto& missing : {std::optional<fs::path>(), std::optional(data / "nothing")})
        EXPECT_THROW(connector(missing).connect(CodingAgentClient::codex), MCPInstallerError);
    EXPECT_TRUE(calls("codex").empty());  // no tool runs without a server to register
}

TEST(LocateServer, FindsTheInstalledLayoutAndTheBuildTree) {
    TemporaryFolder installed, built, neither;
    writeTestFile(installed / "libexec/quillmer/quillmer-mcp", "");
    writeTestFile(built / "CMakeCache.txt", "");
    writeTestFile(built / "libexec/quillmer/quillmer-mcp", "");
    EXPECT_EQ(locateServer(installed / "bin/quillmer-app"), installed / "libexec/quillmer/quillmer-mcp");
    EXPECT_EQ(locateServer(built / "src/app/desktop/quillmer-app"), built / "libexec/quillmer/quillmer-mcp");
    EXPECT_EQ(locateServer(neither / "bin/quillmer-app"), std::nullopt);
}

}  // namespace
}  // namespace quillmer
