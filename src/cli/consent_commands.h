#pragma once

#include <span>
#include <string>

#include "cli/command.h"
#include "platform/user_defaults.h"
#include "transcription/remote_transcription_settings.h"

namespace quillmer::cli {

// "standing on|off|status" or "remote-transcription on|off|status": sets, withdraws or shows the
// choice in `defaults`, printing the resulting state on stdout. Returns the exit code.
int runConsent(UserDefaults& defaults, std::span<const std::string> arguments,
               const RemoteTranscriptionEnvironment& environment = {});

Command consentCommand();

}  // namespace quillmer::cli
