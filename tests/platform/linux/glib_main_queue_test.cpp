#include "platform/linux/glib_main_queue.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace quillmer {
namespace {

// Turns the private context until `done`.
void runUntil(GMainContext* context, const std::function<bool()>& done) {
    while (!done()) g_main_context_iteration(context, TRUE);
}

class GlibMainQueueTest : public ::testing::Test {
protected:
    GlibMainQueueTest() : context(g_main_context_new()) { g_main_context_push_thread_default(context); }
    ~GlibMainQueueTest() override {
        g_main_context_pop_thread_default(context);
        g_main_context_unref(context);
    }
    GMainContext* context;
};

TEST_F(GlibMainQueueTest, RunsTasksLaterInTheOrderPostedAlsoWhenPostedFromATask) {
    GlibMainQueue queue(context);
    std::vector<std::string> ran;
    queue.post([&] {
        ran.push_back("first");
        queue.post([&] { ran.push_back("posted by first"); });
        ran.push_back("first, after posting");
    });
    queue.post([&] { ran.push_back("second"); });
    EXPECT_TRUE(ran.empty()) << "post never runs the task inside the caller";
    runUntil(context, [&] { return ran.size() == 4; });
    EXPECT_EQ(ran, (std::vector<std::string>{"first", "first, after posting", "second", "posted by first"}));
}

TEST_F(GlibMainQueueTest, TasksPostedFromOtherThreadsRunOnTheLoopThread) {
    GlibMainQueue queue(context);
    const auto loopThread = std::this_thread::get_id();
    std::vector<int> ran;
    bool allOnLoopThread = true;
    std::vector<std::thread> workers;
    for (int worker = 0; worker < 4; ++worker)
        workers.emplace_back([&, worker] {
            for (int i = 0; i < 25; ++i)
                queue.post([&, worker] {
                    allOnLoopThread = allOnLoopThread && std::this_thread::get_id() == loopThread;
                    ran.push_back(worker);
                });
        });
    runUntil(context, [&] { return ran.size() == 100; });
    for (auto& worker : workers) worker.join();
    EXPECT_TRUE(allOnLoopThread);
}

TEST_F(GlibMainQueueTest, TasksLeftWhenTheQueueGoesAreReleased) {
    auto owned = std::make_shared<int>(1);
    std::weak_ptr<int> watch = owned;
    {
        GlibMainQueue queue(context);
        queue.post([owned = std::move(owned)] {});
    }
    // The source still sits in the context; destroying the context releases the task.
    g_main_context_pop_thread_default(context);
    g_main_context_unref(context);
    context = g_main_context_new();
    g_main_context_push_thread_default(context);
    EXPECT_TRUE(watch.expired());
}

}  // namespace
}  // namespace quillmer
