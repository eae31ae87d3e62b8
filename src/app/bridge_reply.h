#pragma once

#include <memory>
#include <string>

#include "app/review_page_channel.h"
#include "core/json.h"

namespace quillmer {

// The one answer to one page message: the first succeed() or fail() is delivered, later ones are
// ignored. Nothing is sent once the page is gone.
class BridgeReply {
public:
    BridgeReply(std::string id, std::weak_ptr<ReviewPageChannel> page) : id_(std::move(id)), page_(std::move(page)) {}

    // `value` null means "no value".
    void succeed(const Json& value);
    void fail(const std::string& message);
    bool isSettled() const { return settled_; }
    const std::string& id() const { return id_; }

private:
    void deliver(const Json& reply);

    std::string id_;
    std::weak_ptr<ReviewPageChannel> page_;
    bool settled_ = false;
};

}  // namespace quillmer
