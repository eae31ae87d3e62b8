#pragma once

#include <string>

#include "core/error.h"
#include "core/json.h"

namespace quillmer {

// JSON-RPC error codes the server answers with.
namespace rpc {
inline constexpr int parseError = -32700;
inline constexpr int invalidRequest = -32600;
inline constexpr int methodNotFound = -32601;
inline constexpr int invalidParams = -32602;
inline constexpr int internalError = -32603;
inline constexpr int resourceNotFound = -32002;         // before the stateless revision
inline constexpr int unsupportedProtocolVersion = -32022;
}  // namespace rpc

// A request the server answers with a JSON-RPC error instead of a result.
class McpProtocolError : public Error {
public:
    McpProtocolError(int code, const std::string& message, Json data = nullptr)
        : Error(message), code_(code), data_(std::move(data)) {}
    int code() const noexcept { return code_; }
    const Json& data() const noexcept { return data_; }

private:
    int code_;
    Json data_;
};

}  // namespace quillmer
