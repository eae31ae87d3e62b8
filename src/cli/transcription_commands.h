#pragma once

#include <string>

#include "cli/command.h"

namespace quillmer::cli {

Command transcribeCommand();
Command importTranscriptCommand();

// The user's language from LC_ALL, LC_MESSAGES or LANG as a language tag ("en_US.UTF-8" →
// "en-US"); "en-US" when none names one (unset, "C", "POSIX").
std::string localeFromEnvironment();

}  // namespace quillmer::cli
