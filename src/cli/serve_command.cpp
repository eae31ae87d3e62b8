#include "cli/serve_command.h"

#include <glib-unix.h>
#include <glib.h>

#include <charconv>
#include <csignal>
#include <cstdlib>
#include <future>
#include <thread>
#include <iostream>

#include "app/browser_host_services.h"
#include "app/native_review_bridge.h"
#include "app/review_http_access.h"
#include "app/review_http_server.h"
#include "engine/capture_engine.h"
#include "capture/session_folder.h"
#include "platform/linux/capture_services.h"
#include "core/error.h"
#include "platform/application_paths.h"
#include "platform/linux/gio_trash.h"
#include "platform/linux/glib_main_queue.h"
#include "platform/linux/json_file_user_defaults.h"
#include "platform/linux/posix_process_runner.h"

namespace quillmer::cli {

ServeOptions parseServeOptions(std::span<const std::string> arguments) {
    ServeOptions options;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& name = arguments[i];
        if (name != "--port" && name != "--renderer") throw Error("unknown option \"" + name + "\" for serve");
        if (i + 1 >= arguments.size()) throw Error(name + " needs a value");
        const std::string& value = arguments[++i];
        if (name == "--renderer") {
            options.rendererDirectory = value;
            continue;
        }
        unsigned port = 0;
        const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), port);
        if (error != std::errc() || end != value.data() + value.size() || port > 65535)
            throw Error("--port needs a number from 0 to 65535, not \"" + value + "\"");
        options.port = port;
    }
    return options;
}

namespace {

// Once the loop has stopped, the engine asks its stages to stop and finishes a running recording;
// work that ignores the request (a read stuck on a device) must not keep the process alive.
constexpr auto kShutdownGrace = std::chrono::seconds(20);

void exitIfShutdownHangs(std::future<void> finished) {
    std::thread([finished = std::move(finished)] {
        if (finished.wait_for(kShutdownGrace) == std::future_status::ready) return;
        std::cerr << "quillmer: unfinished work did not stop; exiting without it\n";
        std::_Exit(kExitFailure);
    }).detach();
}

int runServe(std::span<const std::string> arguments) {
    ServeOptions options;
    try {
        options = parseServeOptions(arguments);
    } catch (const Error& error) {
        return reportError(std::string(error.what()) + " (see quillmer serve --help)", kExitUsage);
    }
    // Declared first so it is destroyed last: its future is ready once everything below is torn down.
    std::promise<void> tornDown;
    std::error_code ignored;
    auto renderer = options.rendererDirectory;
    if (!renderer) {
        // The same folder the desktop application loads; none when it holds no page yet.
        renderer = rendererDirectory();
        if (!std::filesystem::is_regular_file(*renderer / "index.html", ignored)) renderer.reset();
    }
    if (renderer && !std::filesystem::is_regular_file(*renderer / "index.html", ignored))
        return reportError("There is no index.html in " + renderer->string() + " (see quillmer serve --help)", kExitUsage);

    auto services = makeCaptureServices();
    PosixProcessRunner processes;
    GioTrash trash;
    GlibMainQueue queue;
    JsonFileUserDefaults defaults(userDefaultsFile());
    CaptureEngine engine(CaptureEngineDependencies{*services.capture, *services.writers, processes, trash, queue,
                                                   [] { return sessionsRoot(); }, [] { return exportsDirectory(); }});
    ReviewRendererScheme scheme(renderer);
    BrowserHostServices host;
    NativeReviewBridgeDependencies dependencies{engine, scheme, defaults, host, [] { return sessionsRoot(); }, true};
    dependencies.mainQueue = &queue;
    NativeReviewBridge bridge(std::move(dependencies));
    auto server = std::make_shared<ReviewHttpServer>(bridge, scheme, makeAccessToken(), options.port);
    bridge.attachPage(server);

    if (!renderer) std::cerr << "quillmer: no renderer found; the page explains how to build it\n";
    std::cout << "Open " << server->pageURL() << "\n" << std::flush;

    GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
    const auto quit = +[](gpointer data) -> gboolean {
        g_main_loop_quit(static_cast<GMainLoop*>(data));
        return G_SOURCE_REMOVE;
    };
    g_unix_signal_add(SIGINT, quit, loop);
    g_unix_signal_add(SIGTERM, quit, loop);
    g_main_loop_run(loop);
    g_main_loop_unref(loop);
    exitIfShutdownHangs(tornDown.get_future());
    // A capture still running is finished by the engine on its way out, so it stays on disk.
    return kExitSuccess;
}

}  // namespace

Command serveCommand() {
    return {"serve", "serve the review page to a browser on this computer",
            "Usage: quillmer serve [--port N] [--renderer DIR]\n\n"
            "Serves the review page, its bridge and the meetings' frames and videos over HTTP on\n"
            "127.0.0.1 only, and prints the address to open (http://127.0.0.1:PORT/?token=T). The\n"
            "random token is required on every request; opening that address once sets it as a\n"
            "cookie. --port picks the port (default: any free one); --renderer names the folder of\n"
            "the built page (default: share/quillmer/renderer of the installation or build tree).\n"
            "File pickers are not available in a browser: the import and open calls take a file\n"
            "path on this computer as their first argument instead. Stops on SIGINT or SIGTERM.\n",
            runServe};
}

}  // namespace quillmer::cli
