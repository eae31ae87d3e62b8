// Any line an agent may send, and any frame path inside a well-formed call: the MCP handler must
// answer with one well-formed JSON-RPC reply (or none), never crash, and serve a frame only for
// the one path its evidence bundle lists.
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string_view>

#include "core/json.h"
#include "core/sha256.h"
#include "mcp/mcp_server.h"

namespace {

const std::string kMeeting = "00000000-0000-4000-8000-000000000001";

std::filesystem::path preparedLibrary() {
    const auto root = std::filesystem::temp_directory_path() / "quillmer-fuzz-mcp";
    const auto folder = root / kMeeting;
    std::filesystem::create_directories(folder / "frames");
    std::ofstream(root / "outside.png") << "outside";
    std::ofstream(folder / "frames" / "a-1.png") << "frame";
    std::ofstream(folder / "evidence.json")
        << quillmer::encodeJSON({{"schemaVersion", 1},
                                 {"session", {{"capturedAt", "2026-05-04T09:30:12Z"}}},
                                 {"candidates", {{{"id", "C1"}, {"frames", {{{"path", "frames/a-1.png"}, {"sha256", quillmer::sha256Hex("frame")}}}}}}}});
    return root;
}

void checkReply(const std::optional<std::string>& reply) {
    if (!reply) return;
    const auto json = quillmer::parseJSON(*reply);  // throws (and so fails the run) when malformed
    if (json["jsonrpc"] != "2.0" || json.contains("result") == json.contains("error")) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace quillmer;
    static McpServer server({preparedLibrary()});
    const std::string input(reinterpret_cast<const char*>(data), size);
    checkReply(server.handleLine(input));

    const Json call = {{"jsonrpc", "2.0"}, {"id", 1}, {"method", "tools/call"},
                       {"params", {{"name", "get_frame"}, {"arguments", {{"meeting", kMeeting}, {"path", input}}}}}};
    const auto reply = server.handleLine(encodeCompactJSON(call));
    checkReply(reply);
    const auto result = parseJSON(*reply)["result"];
    if (result["isError"] == false && input != "frames/a-1.png") std::abort();
    return 0;
}
