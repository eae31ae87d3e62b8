#pragma once

#include <functional>

#include "core/main_queue.h"

typedef struct _GMainContext GMainContext;

namespace quillmer {

// The main queue of a GLib application: each task runs as an idle callback of `context` (the
// default context when null), on whichever thread iterates it, in the order posted. Never runs a
// task inside post(), even when called on the main thread.
class GlibMainQueue final : public MainQueue {
public:
    explicit GlibMainQueue(GMainContext* context = nullptr);
    ~GlibMainQueue() override;
    GlibMainQueue(const GlibMainQueue&) = delete;
    GlibMainQueue& operator=(const GlibMainQueue&) = delete;

    void post(std::function<void()> task) override;

private:
    GMainContext* context_;
};

}  // namespace quillmer
