#pragma once

#include <string>

namespace quillmer {

// The language tag the person works in ("de_DE.UTF-8" in LC_ALL, LC_MESSAGES or LANG reads "de-DE");
// "en-US" when none is set or it is the C locale.
std::string userLanguageTag();

}  // namespace quillmer
