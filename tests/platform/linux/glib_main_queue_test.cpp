#include "platform/linux/glib_main_queue.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace quillmer {
namespace {

class GlibMainQueueTest : public ::testing::Test {
protected:
    GlibMainQueueTest() : context(g_main_context_new()) { g_main_context_push_thread_default(context); }
    ~GlibMainQueueTest() override {
        g_main_context_pop_thread_default(context);
        g_main_context_unref(context);
    }
    // Turns the private context until `done`.
    void runUntil(const std::function<bool()>& done) {
        while (!done()) g_main_context_iteration(context, TRUE);
    }
    GMainContext* context;
};

TEST_F(GlibMainQueueTest, RunsTasksLaterOnTheLoopThreadInTheOrderPosted) {
    GlibMainQueue queue(context);
    std::vector<std::string> ran;
    queue.post([&] {
        ran.push_back("first");
        queue.post([&] { ran.push_back("posted by first"); });
        ran.push_back("first, after posting");
    });
    queue.post([&] { ran.push_back("second"); });
    EXPECT_TRUE(ran.empty()) << "post never runs the task inside the caller";
    runUntil([&] { return ran.size() == 4; });
    EXPECT_EQ(ran, (std::vector<std::string>{"first", "first, after posting", "second", "posted by first"}));

    // From other threads, too.
    const auto loopThread = std::this_thread::get_id();
    int fromWorkers = 0;
    bool allOnLoopThread = true;
    std::vector<std::jthread> workers;
    for (int worker = 0; worker < 4; ++worker)
        workers.emplace_back([&] {
            for (int i = 0; i < 25; ++i)
                queue.post([&] {
                    allOnLoopThread = allOnLoopThread && std::this_thread::get_id() == loopThread;
                    ++fromWorkers;
                });
        });
    runUntil([&] { return fromWorkers == 100; });
    EXPECT_TRUE(allOnLoopThread);
}

}  // namespace
}  // namespace quillmer
