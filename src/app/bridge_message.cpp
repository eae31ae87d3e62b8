#include "app/bridge_message.h"

#include "core/error.h"

namespace quillmer {

std::optional<BridgeCall> decodeBridgeMessage(const Json& message) {
    if (!message.is_object()) return std::nullopt;
    const auto id = message.find("id");
    const auto method = message.find("method");
    if (id == message.end() || !id->is_string() || method == message.end() || !method->is_string()) return std::nullopt;
    BridgeCall call{id->get<std::string>(), method->get<std::string>()};
    if (const auto args = message.find("args"); args != message.end() && args->is_array()) call.args = *args;
    return call;
}

std::optional<BridgeCall> decodeBridgeMessage(std::string_view text) {
    try {
        return decodeBridgeMessage(parseJSON(text));
    } catch (const Error&) {
        return std::nullopt;
    }
}

bool argumentsFit(std::span<const Parameter> parameters, const Json& args) {
    if (!args.is_array()) return false;
    for (size_t i = 0; i < parameters.size(); ++i) {
        // A script's `undefined` argument arrives as null.
        if (i >= args.size() || args[i].is_null()) {
            if (parameters[i].optional) continue;
            return false;
        }
        const Json& value = args[i];
        switch (parameters[i].kind) {
            case ArgumentKind::string:
                if (!value.is_string()) return false;
                break;
            case ArgumentKind::boolean:
                if (!value.is_boolean()) return false;
                break;
            case ArgumentKind::integer:
                if (!value.is_number_integer()) return false;
                break;
        }
    }
    return true;
}

}  // namespace quillmer
