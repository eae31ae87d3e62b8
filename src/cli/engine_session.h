#pragma once

#include <csignal>
#include <functional>
#include <stop_token>

#include "engine/capture_engine.h"
#include "core/loop_main_queue.h"
#include "platform/linux/gio_trash.h"
#include "platform/linux/posix_process_runner.h"

namespace quillmer::cli {

// Everything a command needs to drive the engine from this thread, on the real services.
struct EngineSession {
    EngineSession(CaptureService& capture, MediaWriterFactory& writers);
    PosixProcessRunner processes;
    GioTrash trash;
    LoopMainQueue queue;
    CaptureEngine engine;
};

// Set by the first SIGINT or SIGTERM after installStopHandlers(); a second one ends the process.
extern volatile std::sig_atomic_t stopRequested;
void installStopHandlers();

// Runs `work` on a worker thread while this thread watches for SIGINT and SIGTERM: the first asks
// the work to stop through its token, a second ends the process at once. Rethrows what the work
// threw (CancellationError once it stopped).
void runStoppable(const std::function<void(std::stop_token)>& work);

}  // namespace quillmer::cli
