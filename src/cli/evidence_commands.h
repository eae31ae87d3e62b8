#pragma once

#include "cli/command.h"

namespace quillmer::cli {

Command extractCommand();
Command exportCommand();

}  // namespace quillmer::cli
