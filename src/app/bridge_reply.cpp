#include "app/bridge_reply.h"

namespace quillmer {

void BridgeReply::succeed(const Json& value) {
    if (settled_) return;
    settled_ = true;
    try {
        deliver({{"id", id_}, {"ok", true}, {"value", value}});
    } catch (const EncodingError& error) {
        // A value JSON cannot carry (a non-finite number) must still settle the page's call.
        deliver({{"id", id_}, {"ok", false}, {"error", error.what()}});
    }
}

void BridgeReply::fail(const std::string& message) {
    if (settled_) return;
    settled_ = true;
    deliver({{"id", id_}, {"ok", false}, {"error", message}});
}

void BridgeReply::deliver(const Json& reply) {
    const std::string text = encodeCompactJSON(reply);
    if (const auto page = page_.lock()) page->deliverReply(text);
}

}  // namespace quillmer
