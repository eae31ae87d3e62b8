#pragma once

#include "cli/command.h"

namespace quillmer::cli {

Command summaryCommand();

}  // namespace quillmer::cli
