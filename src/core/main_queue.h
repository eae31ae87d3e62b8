#pragma once

#include <functional>

namespace quillmer {

// Hands work to the one main thread, which owns the engine, the bridge and the UI.
// post() may be called from any thread; tasks run on the main thread in the order posted.
class MainQueue {
public:
    virtual ~MainQueue() = default;
    virtual void post(std::function<void()> task) = 0;
};

}  // namespace quillmer
