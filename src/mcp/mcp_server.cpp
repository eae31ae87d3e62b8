#include "mcp/mcp_server.h"

#include <algorithm>
#include <array>

#include "core/version.h"
#include "mcp/mcp_protocol_error.h"
#include "mcp/meeting_resources.h"
#include "mcp/meeting_tools.h"

namespace quillmer {

namespace {

constexpr std::string_view kModernVersion = "2026-07-28";
constexpr std::array<std::string_view, 4> kLegacyVersions = {"2024-11-05", "2025-03-26", "2025-06-18", "2025-11-25"};
constexpr const char* kVersionKey = "io.modelcontextprotocol/protocolVersion";
constexpr const char* kCapabilitiesKey = "io.modelcontextprotocol/clientCapabilities";
// Meetings change as the user works, so listings are worth caching only briefly, and only for this user.
constexpr int kListTTLMilliseconds = 5000;
constexpr int kToolsTTLMilliseconds = 3600000;

constexpr const char* kInstructions =
    "Quillmer's exported product meetings, read-only. Start with list_meetings (newest first), then get_brief "
    "for the reviewed changes to implement, get_evidence and get_frame for the quotes and screens behind them, "
    "get_summary for decisions and action items, and search to find a topic across meetings.";

Json serverInfo() { return {{"name", "quillmer-mcp"}, {"title", "Quillmer meetings"}, {"version", quillmerVersion()}}; }

Json capabilities() { return {{"tools", {{"listChanged", false}}}, {"resources", {{"listChanged", false}}}}; }

Json errorReply(const Json& id, int code, const std::string& message, const Json& data = nullptr) {
    Json error = {{"code", code}, {"message", message}};
    if (!data.is_null()) error["data"] = data;
    return {{"jsonrpc", "2.0"}, {"id", id}, {"error", error}};
}

// The stateless revision's required request metadata. Throws the errors that revision names.
void requireModernMeta(const Json& meta) {
    const auto version = meta.find(kVersionKey);
    const auto caps = meta.find(kCapabilitiesKey);
    if (version == meta.end() || !version->is_string() || caps == meta.end() || !caps->is_object())
        throw McpProtocolError(rpc::invalidParams, std::string("Missing required _meta: ") + kVersionKey + " and " + kCapabilitiesKey);
    if (*version != kModernVersion)
        throw McpProtocolError(rpc::unsupportedProtocolVersion, "Unsupported protocol version",
                               {{"supported", {kModernVersion}}, {"requested", *version}});
}

std::optional<std::string> optionalCursor(const Json& params) {
    const auto it = params.find("cursor");
    if (it == params.end() || it->is_null()) return std::nullopt;
    if (!it->is_string()) throw McpProtocolError(rpc::invalidParams, "cursor must be a string");
    return it->get<std::string>();
}

}  // namespace

std::optional<std::string> McpServer::handleLine(std::string_view line) {
    Json message;
    try {
        message = parseJSON(line);
    } catch (const std::exception&) {
        return encodeCompactJSON(errorReply(nullptr, rpc::parseError, "Parse error"));
    }
    const auto reply = handleMessage(message);
    if (!reply) return std::nullopt;
    return encodeCompactJSON(*reply);
}

std::optional<Json> McpServer::handleMessage(const Json& message) {
    if (!message.is_object()) return errorReply(nullptr, rpc::invalidRequest, "Invalid Request");
    const auto idIt = message.find("id");
    const auto methodIt = message.find("method");
    const bool hasId = idIt != message.end();
    // A response to something we never sent, or a notification: nothing to answer.
    if (methodIt == message.end() && hasId && (message.contains("result") || message.contains("error"))) return std::nullopt;
    const Json id = hasId && (idIt->is_string() || idIt->is_number_integer()) ? *idIt : Json(nullptr);
    if (message.value("jsonrpc", Json()) != "2.0" || methodIt == message.end() || !methodIt->is_string() ||
        (hasId && id.is_null()))
        return errorReply(id, rpc::invalidRequest, "Invalid Request");
    if (!hasId) return std::nullopt;  // notifications/initialized, notifications/cancelled, …

    const std::string method = *methodIt;
    const auto paramsIt = message.find("params");
    if (paramsIt != message.end() && !paramsIt->is_object() && !paramsIt->is_null())
        return errorReply(id, rpc::invalidParams, "params must be an object");
    const Json params = paramsIt != message.end() && paramsIt->is_object() ? *paramsIt : Json::object();
    try {
        const auto metaIt = params.find("_meta");
        const bool modern = method != "initialize" &&
                            (method == "server/discover" || (metaIt != params.end() && metaIt->is_object() && metaIt->contains(kVersionKey)));
        if (modern) requireModernMeta(metaIt != params.end() && metaIt->is_object() ? *metaIt : Json::object());
        Json result = dispatch(method, params, modern);
        if (modern) result["resultType"] = "complete";
        return Json{{"jsonrpc", "2.0"}, {"id", id}, {"result", std::move(result)}};
    } catch (const McpProtocolError& error) {
        return errorReply(id, error.code(), error.what(), error.data());
    } catch (const std::exception&) {
        return errorReply(id, rpc::internalError, "Internal error");
    }
}

void McpServer::prepare() {
    const std::lock_guard lock(libraryMutex_);
    library_.meetings();
}

Json McpServer::dispatch(const std::string& method, const Json& params, bool modern) {
    auto cacheable = [modern](Json result, int ttl) {
        if (modern) {
            result["ttlMs"] = ttl;
            result["cacheScope"] = "private";
        }
        return result;
    };
    if (method == "initialize") {
        const std::string requested = params.value("protocolVersion", Json()).is_string() ? params["protocolVersion"].get<std::string>() : "";
        const bool known = std::find(kLegacyVersions.begin(), kLegacyVersions.end(), requested) != kLegacyVersions.end();
        return {{"protocolVersion", known ? requested : std::string(kLegacyVersions.back())},
                {"capabilities", capabilities()},
                {"serverInfo", serverInfo()},
                {"instructions", kInstructions}};
    }
    if (method == "server/discover")
        return cacheable({{"supportedVersions", {kModernVersion}},
                          {"capabilities", capabilities()},
                          {"instructions", kInstructions},
                          {"_meta", {{"io.modelcontextprotocol/serverInfo", serverInfo()}}}},
                         kToolsTTLMilliseconds);
    if (method == "ping" && !modern) return Json::object();
    if (method == "tools/list") return cacheable({{"tools", meetingToolDescriptions()}}, kToolsTTLMilliseconds);
    std::unique_lock library(libraryMutex_, std::defer_lock);
    if (method == "tools/call" || method.starts_with("resources/")) library.lock();
    if (method == "tools/call") {
        const auto name = params.find("name");
        const auto arguments = params.find("arguments");
        if (name == params.end() || !name->is_string())
            throw McpProtocolError(rpc::invalidParams, "tools/call needs a tool name");
        if (arguments != params.end() && !arguments->is_object() && !arguments->is_null())
            throw McpProtocolError(rpc::invalidParams, "arguments must be an object");
        return callMeetingTool(library_, *name,
                               arguments != params.end() && arguments->is_object() ? *arguments : Json::object());
    }
    if (method == "resources/list") return cacheable(meetingResourceList(library_, optionalCursor(params)), kListTTLMilliseconds);
    if (method == "resources/templates/list") return cacheable(meetingResourceTemplates(), kToolsTTLMilliseconds);
    if (method == "resources/read") {
        const auto uri = params.find("uri");
        if (uri == params.end() || !uri->is_string()) throw McpProtocolError(rpc::invalidParams, "resources/read needs a uri");
        if (auto result = readMeetingResource(library_, *uri)) return cacheable(std::move(*result), kListTTLMilliseconds);
        throw McpProtocolError(modern ? rpc::invalidParams : rpc::resourceNotFound, "Resource not found", {{"uri", *uri}});
    }
    throw McpProtocolError(rpc::methodNotFound, "Method not found: " + method);
}

}  // namespace quillmer
