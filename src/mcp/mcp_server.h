#pragma once

// The quillmer-mcp request handler: one JSON-RPC message in, at most one reply out. It knows
// nothing of how messages travel; the stdio loop in main.cpp and the tests share it.
//
//     McpServer server(MeetingLibrary::rootsFromList(getenv("QUILLMER_LIBRARY_ROOTS")));
//     for (std::string line; std::getline(std::cin, line);)
//         if (auto reply = server.handleLine(line)) std::cout << *reply << '\n' << std::flush;
//
// Both protocol eras are served by one instance: a request whose params._meta carries
// "io.modelcontextprotocol/protocolVersion" is answered statelessly (2026-07-28); everything else
// follows the initialize handshake of 2025-11-25 and earlier. It never writes a file.
// Call handleLine from one thread; prepare() may run on another meanwhile (calls that need the
// meetings wait for it, the handshake and tools/list do not).

#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/json.h"
#include "mcp/meeting_library.h"

namespace quillmer {

class McpServer {
public:
    explicit McpServer(std::vector<std::filesystem::path> roots) : library_(std::move(roots)) {}

    // One line of the stdio framing; the reply is one line without its line break, or nothing for
    // a notification or a response.
    std::optional<std::string> handleLine(std::string_view line);
    std::optional<Json> handleMessage(const Json& message);

    // Reads the library once, so the first listing an agent asks for is already cheap.
    void prepare();

private:
    Json dispatch(const std::string& method, const Json& params, bool modern);

    std::mutex libraryMutex_;
    MeetingLibrary library_;
};

}  // namespace quillmer
