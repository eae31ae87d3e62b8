#include "mcp/mcp_server.h"

#include <gtest/gtest.h>

#include "core/atomic_file.h"
#include "core/sha256.h"
#include "support/export_builders.h"
#include "support/temporary_folder.h"

namespace quillmer {
namespace {

namespace fs = std::filesystem;
using testing::TemporaryFolder;

const std::string kModernMeta =
    R"("_meta":{"io.modelcontextprotocol/protocolVersion":"2026-07-28","io.modelcontextprotocol/clientCapabilities":{}})";

class McpServerTest : public ::testing::Test {
protected:
    McpServerTest() {
        newest = testing::writeGeneratedExport(root.path(), {1});
        testing::writeGeneratedExport(root.path(), {0, false});
        id = newest.filename().string();
    }

    Json call(const std::string& params, const std::string& method = "tools/call") {
        const auto reply = server.handleLine(R"({"jsonrpc":"2.0","id":7,"method":")" + method + R"(","params":)" + params + "}");
        return reply ? parseJSON(*reply) : Json();
    }
    Json tool(const std::string& name, const Json& arguments) {
        return call(encodeCompactJSON({{"name", name}, {"arguments", arguments}}))["result"];
    }

    TemporaryFolder root, outside;
    McpServer server{{root.path()}};
    fs::path newest;
    std::string id;
};

TEST_F(McpServerTest, MalformedAndUnknownRequestsGetTheirErrorAndTheServerKeepsServing) {
    const struct {
        std::string line;
        int code;
    } cases[] = {
        {"not json", -32700},
        {R"([{"jsonrpc":"2.0","id":1,"method":"ping"}])", -32600},
        {R"({"id":1,"method":"ping"})", -32600},
        {R"({"jsonrpc":"2.0","id":{},"method":"ping"})", -32600},
        {R"({"jsonrpc":"2.0","id":1,"method":"sampling/createMessage"})", -32601},
        {R"({"jsonrpc":"2.0","id":1,"method":"tools/call","params":{"name":"rm_rf"}})", -32602},
        {R"({"jsonrpc":"2.0","id":1,"method":"tools/call","params":{"name":"get_brief","arguments":"x"}})", -32602},
        {R"({"jsonrpc":"2.0","id":1,"method":"resources/read","params":{"uri":"quillmer://meetings/x/brief.md"}})", -32002},
        {R"({"jsonrpc":"2.0","id":1,"method":"server/discover","params":{}})", -32602},
        {R"({"jsonrpc":"2.0","id":1,"method":"ping","params":{)" + kModernMeta + "}}", -32601},
        {R"({"jsonrpc":"2.0","id":1,"method":"resources/read","params":{"uri":"quillmer://x",)" + kModernMeta + "}}", -32602},
        {R"({"jsonrpc":"2.0","id":1,"method":"tools/list","params":{"_meta":{"io.modelcontextprotocol/protocolVersion":"2026-07-28"}}})", -32602},
        {R"({"jsonrpc":"2.0","id":1,"method":"tools/list","params":{"_meta":{"io.modelcontextprotocol/protocolVersion":"2030-01-01","io.modelcontextprotocol/clientCapabilities":{}}}})", -32022},
    };
    for (const auto& c : cases) {
        const auto reply = server.handleLine(c.line);
        ASSERT_TRUE(reply) << c.line;
        EXPECT_EQ(parseJSON(*reply)["error"]["code"], c.code) << c.line;
    }
    EXPECT_EQ(parseJSON(*server.handleLine(cases[12].line))["error"]["data"],
              (Json{{"supported", {"2026-07-28"}}, {"requested", "2030-01-01"}}));
    EXPECT_FALSE(server.handleLine(R"({"jsonrpc":"2.0","method":"notifications/initialized"})"));
    EXPECT_EQ(call("{}", "ping")["result"], Json::object());
}

TEST_F(McpServerTest, EachEraGetsItsOwnAnswerShape) {
    for (const auto& [asked, answered] : {std::pair{"2024-11-05", "2024-11-05"}, {"2025-06-18", "2025-06-18"}, {"1999-01-01", "2025-11-25"}})
        EXPECT_EQ(call(std::string(R"({"protocolVersion":")") + asked + R"(","capabilities":{}})", "initialize")["result"]["protocolVersion"], answered);
    EXPECT_FALSE(call("{}", "tools/list")["result"].contains("resultType"));

    const Json discover = call("{" + kModernMeta + "}", "server/discover")["result"];
    EXPECT_EQ(discover["supportedVersions"], Json::array({"2026-07-28"}));
    EXPECT_EQ(discover["_meta"]["io.modelcontextprotocol/serverInfo"]["name"], "quillmer-mcp");
    const Json list = call("{" + kModernMeta + "}", "tools/list")["result"];
    EXPECT_EQ(list["resultType"], "complete");
    EXPECT_TRUE(list.contains("ttlMs") && list.contains("cacheScope"));
}

TEST_F(McpServerTest, HostileNamesAndTamperedFilesAreRefusedAsToolErrors) {
    // A bundle that lists (with the right digests) a frame outside its folder, a frame link leading out, a tampered frame.
    testing::writeTestFile(root / "escape" / "secret.png", "secret");
    testing::writeTestFile(outside / "secret.png", "secret");
    Json evidence = parseJSON(readWholeFile(newest / "evidence.json"));
    evidence["candidates"][0]["frames"].push_back({{"path", "../escape/secret.png"}, {"sha256", sha256Hex("secret")}, {"byteCount", 6}});
    evidence["candidates"][0]["frames"].push_back({{"path", "frames/link.png"}, {"sha256", sha256Hex("secret")}, {"byteCount", 6}});
    testing::writeTestFile(newest / "evidence.json", encodeJSON(evidence));
    fs::create_symlink(outside / "secret.png", newest / "frames" / "link.png");
    testing::writeTestFile(newest / "frames" / "candidate-0-2.png", "changed after export");
    // An export linked in from outside the root, a hidden one being written, one without evidence.
    testing::writeGeneratedExport(outside.path(), {9});
    fs::create_directory_symlink(outside / testing::generatedExportID(9), root / testing::generatedExportID(9));
    testing::writeGeneratedExport(root.path(), {8}), fs::rename(root / testing::generatedExportID(8), root / ".half");
    testing::writeGeneratedExport(root.path(), {7}), fs::remove(root / testing::generatedExportID(7) / "evidence.json");

    const Json frames[] = {{{"meeting", id}, {"path", "../escape/secret.png"}}, {{"meeting", id}, {"path", "frames/link.png"}},
                           {{"meeting", id}, {"path", "/etc/passwd"}},           {{"meeting", id}, {"path", "frames/../evidence.json"}},
                           {{"meeting", id}, {"path", "frames/candidate-0-2.png"}}, {{"meeting", "../" + id}, {"path", "frames/candidate-0-1.png"}}};
    for (const auto& arguments : frames) EXPECT_TRUE(tool("get_frame", arguments)["isError"]) << arguments;
    EXPECT_FALSE(tool("get_frame", {{"meeting", id}, {"path", "frames/candidate-0-1.png"}})["isError"]);

    const Json listed = tool("list_meetings", Json::object())["structuredContent"]["meetings"];
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[0]["id"], id);
    EXPECT_TRUE(tool("get_brief", {{"meeting", testing::generatedExportID(9)}})["isError"]);
}

TEST_F(McpServerTest, BadArgumentsSayWhatToDo) {
    const std::pair<std::string, Json> cases[] = {
        {"get_brief", {{"meeting", testing::generatedExportID(0)}}},  // evidence only: no brief yet
        {"get_brief", {{"meeting", id}, {"format", "pdf"}}},
        {"list_meetings", {{"limit", 51}}},
        {"list_meetings", {{"cursor", "-1"}}},
        {"get_evidence", {{"meeting", id}, {"candidate", "nope"}}},
        {"search", {{"query", ""}}},
        {"get_summary", {{"meeting", 5}}},
    };
    for (const auto& [name, arguments] : cases) {
        const Json result = tool(name, arguments);
        EXPECT_TRUE(result["isError"]) << name << arguments;
        EXPECT_FALSE(result["content"][0]["text"].get<std::string>().empty());
    }
}

TEST_F(McpServerTest, PagesJoinBackIntoTheWholeDocument) {
    const std::string whole = readWholeFile(newest / "implementation-brief.md");
    std::string joined;
    Json page = {{"next_offset", 0}};
    while (page.contains("next_offset")) {
        page = tool("get_brief", {{"meeting", id}, {"offset", page["next_offset"]}, {"max_chars", 7}})["structuredContent"];
        joined += page["text"].get<std::string>();
    }
    EXPECT_EQ(joined, whole);  // the brief holds "é": pages never split a character
}

TEST_F(McpServerTest, ListingsFollowExportsWrittenAndRemovedSinceTheLastCall) {
    auto meetings = [&] { return tool("list_meetings", Json::object())["structuredContent"]["meetings"]; };
    EXPECT_EQ(meetings()[1]["has"]["brief"], false);
    writeFileAtomically(root / testing::generatedExportID(0) / "implementation-brief.json", readWholeFile(newest / "implementation-brief.json"));
    EXPECT_EQ(meetings()[1]["has"]["brief"], true);
    fs::remove_all(newest);
    EXPECT_EQ(meetings().size(), 1u);
    EXPECT_TRUE(tool("get_brief", {{"meeting", id}})["isError"]);
}

}  // namespace
}  // namespace quillmer
