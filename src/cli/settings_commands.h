#pragma once

#include <span>
#include <string>

#include "cli/command.h"
#include "platform/user_defaults.h"

namespace quillmer::cli {

// "set KEY VALUE", "unset KEY", "get KEY" or no argument (every setting): changes or shows the
// settings kept in `defaults`. Returns the exit code.
int runSettings(UserDefaults& defaults, std::span<const std::string> arguments);

Command settingsCommand();

}  // namespace quillmer::cli
