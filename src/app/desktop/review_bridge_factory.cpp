#include "app/desktop/review_bridge_factory.h"

#include "app/review_page_channel.h"

namespace quillmer {

// Until the native review bridge is part of this build, every well-formed call is answered as
// unsupported, so the page shows those features as unavailable; nothing is pushed.
ReviewMessageHandler makeReviewBridge(const ReviewBridgeServices& services) {
    ReviewPageChannel* page = &services.page;
    return [page](const Json& message) {
        if (!message.is_object()) return;
        const auto id = message.find("id");
        const auto method = message.find("method");
        if (id == message.end() || !id->is_string() || method == message.end() || !method->is_string()) return;
        page->deliverReply(encodeCompactJSON(
            Json{{"id", *id}, {"ok", false}, {"error", "This version of Quillmer does not support that operation."}}));
    };
}

}  // namespace quillmer
