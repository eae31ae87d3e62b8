#pragma once

#include "cli/command.h"

namespace quillmer::cli {

Command sessionsCommand();
Command importRecordingCommand();
Command deleteCommand();

}  // namespace quillmer::cli
