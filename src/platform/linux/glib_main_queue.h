#pragma once

#include "core/main_queue.h"

typedef struct _GMainContext GMainContext;

namespace quillmer {

// Posts work to a GLib main context (the default one unless given): the desktop application's main
// loop. Tasks always run on a later turn of the loop, never inside post(), also when posted from it.
class GLibMainQueue final : public MainQueue {
public:
    explicit GLibMainQueue(GMainContext* context = nullptr);
    ~GLibMainQueue() override;
    GLibMainQueue(const GLibMainQueue&) = delete;
    GLibMainQueue& operator=(const GLibMainQueue&) = delete;

    void post(std::function<void()> task) override;

private:
    GMainContext* context_;
};

}  // namespace quillmer
