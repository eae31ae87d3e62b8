#pragma once

#include <functional>
#include <memory>

#include "core/json.h"

namespace quillmer {

class CaptureEngine;
class MainQueue;
class MediaURLMapper;
class ReviewHostServices;
class ReviewPageChannel;
class ReviewRendererScheme;
class UpdateChecker;
class UserDefaults;

// What the desktop view gives the review bridge. All of it outlives the bridge.
struct ReviewBridgeServices {
    CaptureEngine& capture;
    UserDefaults& defaults;
    std::shared_ptr<ReviewPageChannel> page;
    ReviewRendererScheme& renderer;
    ReviewHostServices& host;
    const MediaURLMapper& media;
    MainQueue& mainQueue;
    UpdateChecker* updates = nullptr;
};

// Takes one message the page posted to "quillmer" ({id, method, args}); answers through the page channel.
using ReviewMessageHandler = std::function<void(const Json& message)>;

// The one place the desktop view meets the bridge.
ReviewMessageHandler makeReviewBridge(const ReviewBridgeServices& services);

}  // namespace quillmer
