#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "core/json.h"

namespace quillmer {

// One call from the page: {id, method, args}.
struct BridgeCall {
    std::string id;
    std::string method;
    Json args = Json::array();  // always a list: a missing or non-list `args` is an empty one
};

// Nothing for a message the bridge ignores: not an object, or no string id or method.
std::optional<BridgeCall> decodeBridgeMessage(const Json& message);
// The same from the text of an HTTP body; text that is not JSON is ignored too.
std::optional<BridgeCall> decodeBridgeMessage(std::string_view text);

// What one positional argument must be; an optional one may also be absent or null. Arguments past the declared ones are ignored, as a
// script function ignores extra arguments.
enum class ArgumentKind { string, boolean, integer };
struct Parameter {
    ArgumentKind kind;
    bool optional = false;
};

bool argumentsFit(std::span<const Parameter> parameters, const Json& args);

}  // namespace quillmer
