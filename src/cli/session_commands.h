#pragma once

#include <filesystem>
#include <string>

#include "cli/command.h"

namespace quillmer::cli {

// SESSION on the command line: a session UUID (either case) under the Sessions root, or the
// path of a session folder. Throws quillmer::Error with a message for the user.
std::filesystem::path resolveSessionArgument(const std::string& argument);

Command showCommand();

}  // namespace quillmer::cli
