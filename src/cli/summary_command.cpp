// `quillmer summary`: the meeting summary of a session's export, written on this computer unless the
// summary pass is approved on the command line (or the model is on this computer too).
#include "cli/summary_command.h"

#include <fstream>
#include <iostream>

#include "capture/session_progress_files.h"
#include "cli/engine_session.h"
#include "cli/session_commands.h"
#include "core/atomic_file.h"
#include "core/error.h"
#include "engine/meeting_summary_stage.h"
#include "platform/application_paths.h"

namespace quillmer::cli {

namespace {

int runSummary(std::span<const std::string> arguments) {
    std::optional<std::string> session;
    bool approved = false, print = false;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const auto& argument = arguments[i];
        const bool approveNext = argument == "--approve" && i + 1 < arguments.size() && arguments[i + 1] == "summary";
        if (argument == "--approve=summary" || approveNext) {
            approved = true;
            i += approveNext ? 1 : 0;
        } else if (argument == "--print") {
            print = true;
        } else if (!session && !argument.starts_with("-")) {
            session = argument;
        } else {
            return reportError("unexpected argument \"" + argument + "\" (see quillmer summary --help)", kExitUsage);
        }
    }
    if (!session) return reportError("summary takes one SESSION (see quillmer summary --help)", kExitUsage);
    const auto exportFolder = exportsDirectory() / resolveSessionArgument(*session).filename();
    std::error_code missing;
    if (!std::filesystem::is_regular_file(exportFolder / kEvidenceFileName, missing))
        return reportError("\"" + *session + "\" has no exported evidence yet; run quillmer process " + *session +
                           " first");

    RemoteAnalysisPasses passes;
    if (approved) passes.insert(RemoteAnalysisPass::summary);
    std::optional<MeetingSummaryDocument> document;
    installStopHandlers();
    try {
        runStoppable([&](std::stop_token stop) {
            // A remote model only with the approval; a model on this computer needs none.
            document = ensureSummary(configuredAnalysisConnection(), exportFolder, passes, stop);
        });
    } catch (const std::exception& error) {
        return reportError(std::string("The meeting summary could not be written: ") + error.what());
    }
    if (!document) return reportError("The meeting summary could not be written (see the export's transcript).");
    if (std::ifstream diagnostics{exportFolder / kSummaryDiagnosticsFileName}) {
        std::string when, reason;
        std::getline(diagnostics, when);
        std::getline(diagnostics, reason);
        std::cerr << "No model summary (" << reason << "); the rule-based summary was written instead.\n";
    }
    if (print)
        std::cout << document->markdown;
    else
        std::cout << (exportFolder / kMeetingSummaryMarkdownFileName).string() << "\n";
    return kExitSuccess;
}

}  // namespace

Command summaryCommand() {
    return {"summary", "write the meeting summary of a session's export",
            "Usage: quillmer summary SESSION [--approve summary] [--print]\n\n"
            "Writes meeting-summary.json and meeting-summary.md into SESSION's export and prints the\n"
            "Markdown file's path (--print writes the Markdown itself to standard output). Without\n"
            "--approve summary nothing is sent: the summary is made on this computer from the\n"
            "transcript and any grounded feedback. With it the whole transcript goes to the configured\n"
            "analysis route; when that fails the reason is kept in summary-diagnostics.txt and the\n"
            "summary made on this computer is written instead. A local model (quillmer settings)\n"
            "writes it without --approve, since nothing leaves this computer.\n",
            runSummary};
}

}  // namespace quillmer::cli
