#pragma once

#include <filesystem>
#include <string>

#include "cli/command.h"

namespace quillmer::cli {

// SESSION on the command line, the same for every command: a session UUID (either case), "latest"
// (the newest meeting of the recent list) or the path of a session folder in the Sessions root.
// The result is the library's folder of that session, which loads as a session (a readable
// session.json naming the folder's own id), or it throws quillmer::Error with a message for the user.
std::filesystem::path resolveSessionArgument(const std::string& argument);

Command showCommand();

}  // namespace quillmer::cli
