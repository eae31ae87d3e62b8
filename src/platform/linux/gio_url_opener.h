#pragma once

#include <string>

namespace quillmer {

// Opens `url` with the desktop's default handler (the browser for https); false when none
// could be launched.
bool openURLWithDefaultApplication(const std::string& url);

}  // namespace quillmer
