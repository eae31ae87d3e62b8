#include "app/desktop/review_bridge_factory.h"

#include "app/native_review_bridge.h"
#include "capture/session_folder.h"

namespace quillmer {

ReviewMessageHandler makeReviewBridge(const ReviewBridgeServices& services) {
    NativeReviewBridgeDependencies dependencies{services.capture, services.renderer, services.defaults, services.host,
                                                [] { return sessionsRoot(); }, false, &services.media, services.updates};
    dependencies.mainQueue = &services.mainQueue;
    auto bridge = std::make_shared<NativeReviewBridge>(std::move(dependencies));
    bridge->attachPage(services.page);
    return [bridge](const Json& message) { bridge->handleMessage(message); };
}

}  // namespace quillmer
