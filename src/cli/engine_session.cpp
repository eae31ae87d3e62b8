#include "cli/engine_session.h"

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

}  // namespace quillmer::cli
