#pragma once

#include <csignal>

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

}  // namespace quillmer::cli
