#include "cli/process_command.h"

#include <unistd.h>

#include <chrono>
#include <iostream>

#include "engine/local_pipeline.h"
#include "cli/engine_session.h"
#include "platform/linux/capture_services.h"
#include "cli/session_commands.h"
#include "core/error.h"

namespace quillmer::cli {

namespace {

std::string stageLine(const CaptureEngineState& state, LocalStage stage) {
    switch (stage) {
        case LocalStage::transcription: {
            std::string line = "Transcribing on this computer";
            if (const auto& progress = state.transcriptionProgress)
                if (const auto part = transcriptionPartText(*progress)) line += " (" + *part + ")";
            return line + "…";
        }
        case LocalStage::evidenceExtraction: return "Matching words to the screen…";
        case LocalStage::evidenceExport: return "Preparing cited evidence…";
        case LocalStage::evidenceAnalysis: return "Analysing the approved evidence…";
        case LocalStage::meetingSummary: return "Summarising the meeting…";
    }
    return {};
}

int runProcess(std::span<const std::string> arguments) {
    if (arguments.size() != 1) return reportError("process takes one SESSION (see quillmer process --help)", kExitUsage);
    const auto folder = resolveSessionArgument(arguments[0]);
    auto services = makeCaptureServices();
    EngineSession session(*services.capture, *services.writers);
    auto& engine = session.engine;
    const auto& state = engine.state();
    // The engine starts on the newest meeting; only the one asked for may be processed.
    engine.restoreSession(folder.filename().string());
    std::error_code error;
    if (!state.lastSessionDirectory || !std::filesystem::equivalent(*state.lastSessionDirectory, folder, error))
        return reportError("\"" + arguments[0] + "\" is not a readable session in the Quillmer library");

    installStopHandlers();
    const bool terminal = ::isatty(STDERR_FILENO) == 1;
    std::optional<LocalStage> current;
    std::string shown;
    const auto show = [&] {
        if (!current) return;
        const std::string line = stageLine(state, *current);
        if (line == shown) return;
        shown = line;
        if (terminal) std::cerr << "\r" << line << "\x1b[K" << std::flush;
        else std::cerr << line << "\n";
    };
    const auto observer = engine.addObserver(show);
    bool finished = false, cancelling = false;
    runMissingLocalStages(
        engine, [&](LocalStage stage) {
            if (terminal && current) std::cerr << "\n";
            current = stage;
            show();
        },
        [&] { finished = true; });
    while (!finished) {
        session.queue.runUntil([&] { return finished || (stopRequested && !cancelling); },
                               std::chrono::steady_clock::now() + std::chrono::milliseconds(250));
        if (stopRequested && !cancelling) {
            cancelling = true;
            std::cerr << (terminal ? "\n" : "") << "Stopping safely…\n";
            engine.cancelStage();
        }
    }
    engine.removeObserver(observer);
    if (terminal && current) std::cerr << "\n";

    if (state.errorMessage) return reportError(*state.errorMessage);
    // A stage that finished its work before it saw the stop keeps its result, but nothing runs after it.
    if (cancelling) return reportError("Stopped. Run quillmer process again to resume.");
    if (!state.lastExportDirectory) return reportError("Stopped before the export. Run quillmer process again to resume.");
    std::cout << state.candidateCount.value_or(0) << " evidence moments\n"
              << (*state.lastExportDirectory / "evidence.md").string() << "\n";
    return kExitSuccess;
}

}  // namespace

Command processCommand() {
    return {"process", "run every local stage a session still needs, resuming where it stopped",
            "Usage: quillmer process SESSION\n\n"
            "Runs, in order, each local stage SESSION does not have yet: transcription on this\n"
            "computer, evidence extraction, evidence export. Stages already done are skipped, so an\n"
            "interrupted run resumes where it stopped. Nothing leaves this computer.\n"
            "Prints the number of evidence moments and the path of the export's evidence.md.\n"
            "SESSION is a session id (either case), latest, or a session folder of the library.\n"
            "Ctrl-C stops the running stage safely and starts no later one (exit 1). Exits 1 with\n"
            "the reason when a stage fails.\n",
            runProcess};
}

}  // namespace quillmer::cli
