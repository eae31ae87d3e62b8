#include "platform/linux/glib_main_queue.h"

#include <glib.h>

namespace quillmer {

GlibMainQueue::GlibMainQueue(GMainContext* context)
    : context_(g_main_context_ref(context ? context : g_main_context_default())) {}

GlibMainQueue::~GlibMainQueue() { g_main_context_unref(context_); }

void GlibMainQueue::post(std::function<void()> task) {
    // An idle source rather than g_main_context_invoke, which would run the task at once when
    // called from the thread that owns the context.
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
