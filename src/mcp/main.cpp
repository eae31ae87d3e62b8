// quillmer-mcp: the MCP server coding agents start over stdio. One JSON-RPC message per line in
// and out; only protocol on stdout, diagnostics on stderr; ends when its input ends.
#include <cstdlib>
#include <iostream>
#include <string>
#include <thread>

#include "mcp/mcp_server.h"

int main() {
    std::ios::sync_with_stdio(false);
    const char* roots = std::getenv("QUILLMER_LIBRARY_ROOTS");
    if (!roots || !*roots)
        std::cerr << "quillmer-mcp: QUILLMER_LIBRARY_ROOTS is not set, so there are no meetings to serve.\n";
    quillmer::McpServer server(quillmer::MeetingLibrary::rootsFromList(roots ? roots : ""));
    // Agents start their servers when they start, long before the first question: read the
    // library meanwhile, so that question is not kept waiting.
    std::jthread preparing([&server] { server.prepare(); });
    // Far longer than any request an agent sends; a longer line is refused.
    constexpr size_t kMaxLine = 4u << 20;
    std::string line;
    while (std::getline(std::cin, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.find_first_not_of(" \t") == std::string::npos) continue;
        const auto reply = line.size() > kMaxLine
            ? std::optional<std::string>(R"({"jsonrpc":"2.0","id":null,"error":{"code":-32600,"message":"Request too large"}})")
            : server.handleLine(line);
        if (reply) std::cout << *reply << '\n' << std::flush;
    }
    return 0;
}
