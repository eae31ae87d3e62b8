#include "cli/evidence_commands.h"

#include <iostream>

#include "engine/processing_stages.h"
#include "cli/engine_session.h"
#include "cli/session_commands.h"

namespace quillmer::cli {

namespace {

int runExtract(std::span<const std::string> arguments) {
    if (arguments.size() != 1) return reportError("extract takes one SESSION (see quillmer extract --help)", kExitUsage);
    const auto folder = resolveSessionArgument(arguments[0]);
    // The same stage the engine runs, on the same services; Ctrl-C stops it between moments.
    int moments = 0;
    runStoppable([&](std::stop_token stop) { moments = availableProcessingStages().extractEvidence(folder, stop); });
    std::cout << moments << "\n";
    return kExitSuccess;
}

int runExport(std::span<const std::string> arguments) {
    if (arguments.size() != 1) return reportError("export takes one SESSION (see quillmer export --help)", kExitUsage);
    const auto folder = resolveSessionArgument(arguments[0]);
    std::filesystem::path exported;
    runStoppable([&](std::stop_token stop) { exported = availableProcessingStages().exportEvidence(folder, stop); });
    std::cout << exported.string() << "\n";
    return kExitSuccess;
}

}  // namespace

Command extractCommand() {
    return {"extract", "find feedback moments and extract their frames",
            "Usage: quillmer extract SESSION\n\n"
            "Finds the moments in SESSION's transcript where someone asks for a change while\n"
            "pointing at the screen, writes three frames around each (plus the marked change and a\n"
            "close-up when one is found) into the session's frames/ folder, writes\n"
            "evidence-candidates.json and records it in session.json. Prints the number of moments.\n"
            "SESSION is a session id (either case), latest, or a session folder of the library.\n"
            "Ctrl-C stops it between moments and writes no candidates file.\n"
            "Exits 1 with the reason when the session has no transcript, a frame cannot be read or\n"
            "it was stopped.\n",
            runExtract};
}

Command exportCommand() {
    return {"export", "export a session's evidence bundle",
            "Usage: quillmer export SESSION\n\n"
            "Copies SESSION's transcript and evidence frames into a new folder named by the session\n"
            "id under $XDG_DATA_HOME/Quillmer/Exports, with evidence.json (SHA-256 digest and size of\n"
            "every copied file) and evidence.md, and prints that folder. The folder appears only when\n"
            "complete; Ctrl-C stops it and leaves none. Exits 1 with the reason when evidence was not\n"
            "extracted yet, a file is missing, the session was exported before, or it was stopped.\n",
            runExport};
}

}  // namespace quillmer::cli
