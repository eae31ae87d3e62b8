#include "cli/summary_command.h"
#include "cli/command.h"

#include <algorithm>
#include <iostream>

#include "cli/analysis_commands.h"
#include "cli/capture_commands.h"
#include "cli/cloud_commands.h"
#include "cli/consent_commands.h"
#include "cli/credentials_commands.h"
#include "cli/library_commands.h"
#include "cli/process_command.h"
#include "cli/review_commands.h"
#include "cli/evidence_commands.h"
#include "cli/serve_command.h"
#include "cli/session_commands.h"
#include "cli/settings_commands.h"
#include "cli/transcription_commands.h"

namespace quillmer::cli {

std::span<const Command> commands() {
    static const Command all[] = {
        displaysCommand(),
        recordCommand(),
        consentCommand(),
        importRecordingCommand(),
        importTranscriptCommand(),
        transcribeCommand(),
        extractCommand(),
        exportCommand(),
        processCommand(),
        planCommand(),
        analyzeCommand(),
        retryCommand(),
        settingsCommand(),
        reviewCommand(),
        briefCommand(),
        summaryCommand(),
        sessionsCommand(),
        showCommand(),
        deleteCommand(),
        serveCommand(),
        credentialsCommand(),
        connectCommand(),
        syncCommand(),
        disconnectCommand(),
    };
    return all;
}

bool wantsHelp(std::span<const std::string> arguments) {
    return std::any_of(arguments.begin(), arguments.end(), [](const std::string& a) { return a == "--help" || a == "-h"; });
}

int reportError(std::string_view message, int exitCode) {
    std::cerr << "quillmer: " << message << "\n";
    return exitCode;
}

}  // namespace quillmer::cli
