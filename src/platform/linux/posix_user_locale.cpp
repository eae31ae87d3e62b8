#include <cstdlib>

#include "platform/user_locale.h"

namespace quillmer {

std::string userLanguageTag() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (!value || !*value) continue;
        std::string tag(value);
        tag = tag.substr(0, tag.find_first_of(".@"));
        if (tag == "C" || tag == "POSIX" || tag.empty()) break;
        for (char& c : tag)
            if (c == '_') c = '-';
        return tag;
    }
    return "en-US";
}

}  // namespace quillmer
