#include "platform/linux/glib_main_queue.h"

#include <glib.h>

namespace quillmer {

GLibMainQueue::GLibMainQueue(GMainContext* context)
    : context_(g_main_context_ref(context ? context : g_main_context_default())) {}

GLibMainQueue::~GLibMainQueue() { g_main_context_unref(context_); }

void GLibMainQueue::post(std::function<void()> task) {
    // An idle source of default priority, so tasks keep their order among themselves and among the
    // loop's other default-priority events.
    GSource* source = g_idle_source_new();
    g_source_set_priority(source, G_PRIORITY_DEFAULT);
    g_source_set_callback(
        source,
        [](gpointer data) -> gboolean {
            (*static_cast<std::function<void()>*>(data))();
            return G_SOURCE_REMOVE;
        },
        new std::function<void()>(std::move(task)),
        [](gpointer data) { delete static_cast<std::function<void()>*>(data); });
    g_source_attach(source, context_);
    g_source_unref(source);
}

}  // namespace quillmer
