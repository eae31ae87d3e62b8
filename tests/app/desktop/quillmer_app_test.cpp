// Starts the real quillmer-app in a private X server and session bus and watches it from outside:
// the page under test reports what it saw through its document title, which the window carries.
#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <thread>

#include "support/background_process.h"
#include "support/private_keyring.h"
#include "support/private_x_server.h"
#include "support/temporary_folder.h"

namespace quillmer {
namespace {

using namespace std::chrono_literals;

// Titles of the top-level windows of the X server $DISPLAY names.
std::vector<std::string> windowTitles() {
    std::vector<std::string> titles;
    xcb_connection_t* x = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(x)) return xcb_disconnect(x), titles;
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(x)).data->root;
    std::unique_ptr<xcb_query_tree_reply_t, decltype(&free)> tree(xcb_query_tree_reply(x, xcb_query_tree(x, root), nullptr), &free);
    for (int i = 0; tree && i < xcb_query_tree_children_length(tree.get()); ++i) {
        // WM_NAME: the titles here are plain ASCII, the same in every encoding GTK may choose.
        std::unique_ptr<xcb_get_property_reply_t, decltype(&free)> title(
            xcb_get_property_reply(x, xcb_get_property(x, 0, xcb_query_tree_children(tree.get())[i], XCB_ATOM_WM_NAME,
                                                       XCB_GET_PROPERTY_TYPE_ANY, 0, 4096), nullptr), &free);
        if (title && xcb_get_property_value_length(title.get()) > 0)
            titles.emplace_back(static_cast<const char*>(xcb_get_property_value(title.get())),
                                static_cast<size_t>(xcb_get_property_value_length(title.get())));
    }
    xcb_disconnect(x);
    return titles;
}

// Polls until some window's title satisfies `wanted`; returns it, or nothing after a minute.
std::optional<std::string> awaitWindowTitle(const std::function<bool(const std::string&)>& wanted) {
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (std::chrono::steady_clock::now() < deadline) {
        for (const auto& title : windowTitles())
            if (wanted(title)) return title;
        std::this_thread::sleep_for(100ms);
    }
    return std::nullopt;
}

// A display, a session bus (with an empty keyring) and a home of its own, so the app under test
// meets no running Quillmer.
class QuillmerAppTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (auto reason = testing::PrivateXServer::unavailableReason()) GTEST_SKIP() << *reason;
        if (auto reason = testing::PrivateKeyring::unavailableReason()) GTEST_SKIP() << *reason;
        display = std::make_unique<testing::PrivateXServer>();
        bus = std::make_unique<testing::PrivateKeyring>();
        for (const char* name : {"home", "renderer", "runtime"}) std::filesystem::create_directories(folder / name);
        std::filesystem::permissions(folder / "runtime", std::filesystem::perms::owner_all);
    }

    std::unique_ptr<testing::BackgroundProcess> launch(const std::string& logName,
                                                       std::vector<std::string> arguments = {}) {
        return std::make_unique<testing::BackgroundProcess>(testing::BackgroundProcess::Launch{
            QUILLMER_APP_EXECUTABLE,
            std::move(arguments),
            {{"HOME", (folder / "home").string()},
             {"XDG_DATA_HOME", (folder / "home" / "data").string()},
             {"XDG_CONFIG_HOME", (folder / "home" / "config").string()},
             {"XDG_CACHE_HOME", (folder / "home" / "cache").string()},
             {"XDG_RUNTIME_DIR", (folder / "runtime").string()},
             {"QUILLMER_RENDERER_DIRECTORY", (folder / "renderer").string()},
             {"GDK_BACKEND", "x11"}},
            folder / logName});
    }

    testing::TemporaryFolder folder;
    std::unique_ptr<testing::PrivateXServer> display;
    std::unique_ptr<testing::PrivateKeyring> bus;
};

TEST_F(QuillmerAppTest, ThePageTalksToTheNativeSideThroughTheBridge) {
    testing::writeTestFile(folder / "renderer" / "data.txt", "0123456789");
    testing::writeTestFile(folder / "renderer" / "index.html", R"(<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>waiting</title></head><body><script>
(async () => {
  const result = {
    platform: window.quillmer.platform,
    available: window.quillmer.capture.available,
    configurable: Object.getOwnPropertyDescriptor(window, 'quillmer').configurable,
  };
  try { result.stage = (await window.quillmer.capture.getState()).stage; } catch (error) { result.stage = error.message; }
  try { await window.quillmer.updates.setEnabled('yes'); } catch (error) { result.rejected = error.message; }
  // Listing the displays changes the engine's state, which the native side pushes to the page.
  const pushed = new Promise((resolve) => window.quillmer.capture.onState((state) => resolve(state.available)));
  try { result.sources = (await window.quillmer.capture.sources()).length; } catch (error) { result.sources = error.message; }
  result.pushed = await Promise.race([pushed, new Promise((resolve) => setTimeout(() => resolve('no push'), 10000))]);
  try {
    const response = await fetch('data.txt', { headers: { Range: 'bytes=2-4' } });
    result.range = [response.status, response.headers.get('Content-Range'), await response.text()];
  } catch (error) { result.range = 'failed: ' + error; }
  try { await fetch('../../outside.txt'); result.outside = 'served'; } catch (error) { result.outside = 'refused'; }
  document.title = 'done ' + JSON.stringify(result);
})();
</script></body></html>
)");
    auto app = launch("app.log");
    const auto title = awaitWindowTitle([](const std::string& t) { return t.starts_with("done "); });
    ASSERT_TRUE(title) << app->log();
    EXPECT_EQ(*title,
              "done {\"platform\":\"linux\",\"available\":true,\"configurable\":false,\"stage\":\"idle\","
              "\"rejected\":\"That update-check value is not valid.\",\"sources\":1,"
              "\"pushed\":true,\"range\":[206,\"bytes 2-4/10\",\"234\"],\"outside\":\"refused\"}");
}

// Without a renderer the window shows the fallback page; a second launch hands over to the first and leaves.
TEST_F(QuillmerAppTest, ASecondLaunchHandsOverToTheFirst) {
    const auto fallback = [](const std::string& t) { return t == "Quillmer renderer is missing"; };
    auto first = launch("first.log");
    ASSERT_TRUE(awaitWindowTitle(fallback)) << first->log();

    for (const std::vector<std::string>& arguments : {std::vector<std::string>{},
                                                     std::vector<std::string>{"quillmer://zoom/connected?state=x"}}) {
        auto second = launch("second.log", arguments);
        const auto deadline = std::chrono::steady_clock::now() + 60s;
        while (second->isRunning() && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(100ms);
        EXPECT_FALSE(second->isRunning()) << "the second launch should hand over and leave: " << second->log();
    }
    const auto titles = windowTitles();
    EXPECT_EQ(std::count_if(titles.begin(), titles.end(), fallback), 1);
    EXPECT_TRUE(first->isRunning());
}

}  // namespace
}  // namespace quillmer
