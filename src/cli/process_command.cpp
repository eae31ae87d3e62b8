#include "cli/process_command.h"

#include <unistd.h>

#include <chrono>
#include <iostream>

#include "analysis/grounded_feedback.h"
#include "analysis/meeting_summary.h"
#include "engine/analysis_connection.h"
#include "engine/local_pipeline.h"
#include "cli/engine_session.h"
#include "platform/linux/capture_services.h"
#include "cli/session_commands.h"
#include "core/error.h"

namespace quillmer::cli {

namespace {

std::string stageLine(const CaptureEngineState& state, LocalStage stage, bool onThisComputer) {
    switch (stage) {
        case LocalStage::transcription: {
            std::string line = "Transcribing on this computer";
            if (const auto& progress = state.transcriptionProgress)
                if (const auto part = transcriptionPartText(*progress)) line += " (" + *part + ")";
            return line + "…";
        }
        case LocalStage::evidenceExtraction: return "Matching words to the screen…";
        case LocalStage::evidenceExport: return "Preparing cited evidence…";
        case LocalStage::evidenceAnalysis:
            return onThisComputer ? "Analysing the evidence on this computer…" : "Analysing the approved evidence…";
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
    // Analysis that never leaves this computer needs no approval, so processing carries on into it
    // and the summary; a remote route waits for quillmer analyze --approve.
    const AnalysisConnection connection = configuredAnalysisConnection();
    const bool onThisComputer = connection.route.staysOnThisComputer();
    const bool terminal = ::isatty(STDERR_FILENO) == 1;
    std::optional<LocalStage> current;
    std::string shown;
    const auto show = [&] {
        if (!current) return;
        const std::string line = stageLine(state, *current, onThisComputer);
        if (line == shown) return;
        shown = line;
        if (terminal) std::cerr << "\r" << line << "\x1b[K" << std::flush;
        else std::cerr << line << "\n";
    };
    const auto observer = engine.addObserver(show);
    bool finished = false, cancelling = false;
    const auto starting = [&](LocalStage stage) {
        if (terminal && current) std::cerr << "\n";
        current = stage;
        show();
    };
    if (onThisComputer) runProcessingStages(engine, {}, starting, [&] { finished = true; });
    else runMissingLocalStages(engine, starting, [&] { finished = true; });
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
    const auto& exportFolder = *state.lastExportDirectory;
    std::cout << state.candidateCount.value_or(0) << " evidence moments\n" << (exportFolder / "evidence.md").string() << "\n";
    if (!onThisComputer) return kExitSuccess;
    if (const auto& problem = connection.route.localModelProblem) std::cerr << *problem << "\n";
    const int found = state.feedbackCount.value_or(0);
    std::cout << found << " feedback items, found on this computer (" << analysisRecipient(connection.route).providerHost << ")";
    if (found > 0)
        std::cout << ", " << state.includedFeedbackIDs.size() << " in the brief; choose with quillmer review "
                  << arguments[0];
    std::cout << "\n"
              << (exportFolder / kFeedbackMarkdownFileName).string() << "\n"
              << (exportFolder / kMeetingSummaryMarkdownFileName).string() << "\n";
    if (state.implementationBriefURL) std::cout << state.implementationBriefURL->string() << "\n";
    return kExitSuccess;
}

}  // namespace

Command processCommand() {
    return {"process", "run every local stage a session still needs, resuming where it stopped",
            "Usage: quillmer process SESSION\n\n"
            "Runs, in order, each local stage SESSION does not have yet: transcription on this\n"
            "computer, evidence extraction, evidence export. When analysis runs on this computer\n"
            "(see quillmer plan), it goes on to analyse the evidence there and write the meeting\n"
            "summary. Stages already done are skipped, so an interrupted run resumes where it\n"
            "stopped. Nothing leaves this computer.\n"
            "Prints the number of evidence moments and the path of the export's evidence.md; after\n"
            "an analysis on this computer also the number of feedback items, the paths of\n"
            "feedback.md and meeting-summary.md, and the brief's when an item was included.\n"
            "SESSION is a session id (either case), latest, or a session folder of the library.\n"
            "Ctrl-C stops the running stage safely and starts no later one (exit 1). Exits 1 with\n"
            "the reason when a stage fails.\n",
            runProcess};
}

}  // namespace quillmer::cli
