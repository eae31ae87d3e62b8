#pragma once

#include "cli/command.h"

namespace quillmer::cli {

// "credentials set|status|clear": the relay credential and the developer keys in the keyring.
Command credentialsCommand();

}  // namespace quillmer::cli
