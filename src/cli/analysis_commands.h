#pragma once

#include "cli/command.h"

namespace quillmer::cli {

Command planCommand();
Command analyzeCommand();
Command retryCommand();

}  // namespace quillmer::cli
