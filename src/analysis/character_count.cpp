#include "analysis/character_count.h"

#include <unicode/brkiter.h>
#include <unicode/utext.h>

#include <memory>

namespace quillmer {

size_t countUserPerceivedCharacters(std::string_view text) {
    if (text.empty()) return 0;
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> breaks(icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    UText* utext = utext_openUTF8(nullptr, text.data(), static_cast<int64_t>(text.size()), &status);
    if (U_FAILURE(status) || !breaks) {
        if (utext) utext_close(utext);
        return text.size();
    }
    breaks->setText(utext, status);
    size_t count = 0;
    for (int32_t end = breaks->next(); end != icu::BreakIterator::DONE; end = breaks->next()) ++count;
    utext_close(utext);
    return count;
}

}  // namespace quillmer
