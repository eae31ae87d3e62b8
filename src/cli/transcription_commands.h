#pragma once

#include <string>

#include "cli/command.h"

namespace quillmer::cli {

Command transcribeCommand();
Command importTranscriptCommand();


}  // namespace quillmer::cli
