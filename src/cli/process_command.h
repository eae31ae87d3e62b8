#pragma once

#include "cli/command.h"

namespace quillmer::cli {

Command processCommand();

}  // namespace quillmer::cli
