#pragma once

#include <span>
#include <string>

#include "cli/command.h"
#include "platform/user_defaults.h"

namespace quillmer::cli {

// "standing on|off|status": sets, withdraws or shows standing consent in `defaults`, printing the
// resulting state on stdout. Returns the exit code.
int runConsent(UserDefaults& defaults, std::span<const std::string> arguments);

Command consentCommand();

}  // namespace quillmer::cli
