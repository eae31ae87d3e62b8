#pragma once

#include "cli/command.h"

namespace quillmer::cli {

Command reviewCommand();
Command briefCommand();

}  // namespace quillmer::cli
