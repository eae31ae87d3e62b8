#include "cli/engine_session.h"

#include <atomic>
#include <chrono>
#include <exception>
#include <thread>

#include "capture/session_folder.h"
#include "platform/application_paths.h"

namespace quillmer::cli {

EngineSession::EngineSession(CaptureService& capture, MediaWriterFactory& writers)
    : engine(CaptureEngineDependencies{capture, writers, processes, trash, queue, [] { return sessionsRoot(); },
                                       [] { return exportsDirectory(); }}) {}

volatile std::sig_atomic_t stopRequested = 0;

namespace {
void requestStop(int) { stopRequested = 1; }
}  // namespace

// The first SIGINT or SIGTERM asks for a clean stop; a second one ends the process at once.
void installStopHandlers() {
    struct sigaction action {};
    action.sa_handler = requestStop;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

void runStoppable(const std::function<void(std::stop_token)>& work) {
    stopRequested = 0;
    installStopHandlers();
    std::exception_ptr failure;
    std::atomic<bool> done{false};
    {
        std::jthread worker([&](std::stop_token stop) {
            try {
                work(stop);
            } catch (...) {
                failure = std::current_exception();
            }
            done = true;
        });
        // A signal handler can do nothing but set a flag, so the flag is watched from here.
        while (!done) {
            if (stopRequested) worker.request_stop();
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    if (failure) std::rethrow_exception(failure);
}

}  // namespace quillmer::cli
