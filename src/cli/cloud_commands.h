#pragma once

#include "cli/command.h"

namespace quillmer::cli {

// "connect": connects Zoom through the browser and stores the relay device credential.
Command connectCommand();
// "sync": one round of cloud meeting sync, with progress.
Command syncCommand();
// "disconnect": removes the relay device credential from the keyring.
Command disconnectCommand();

}  // namespace quillmer::cli
