#include <unicode/datefmt.h>
#include <unicode/locid.h>
#include <unicode/udisplaycontext.h>
#include <unicode/unistr.h>

#include <chrono>
#include <cstdlib>
#include <memory>

#include "platform/date_text.h"

namespace quillmer {

std::string userDateLocale() {
    for (const char* variable : {"LC_ALL", "LC_TIME", "LANG"})
        if (const char* value = std::getenv(variable); value && *value) return value;
    return "";
}

std::string formatShortRelativeDateTime(Timestamp time, const std::string& locale) {
    // POSIX names ("de_DE.UTF-8", "C") canonicalise to ICU's; an empty name means ICU's default.
    const icu::Locale icuLocale = locale.empty() ? icu::Locale::getDefault() : icu::Locale::createCanonical(locale.c_str());
    const std::unique_ptr<icu::DateFormat> format(icu::DateFormat::createDateTimeInstance(
        icu::DateFormat::kShortRelative, icu::DateFormat::kShort, icuLocale));
    const double milliseconds =
        static_cast<double>(std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count());
    std::string text;
    if (!format) return formatISO8601(time);
    // The text starts a title, so "heute" reads "Heute" in every language.
    UErrorCode status = U_ZERO_ERROR;
    format->setContext(UDISPCTX_CAPITALIZATION_FOR_BEGINNING_OF_SENTENCE, status);
    icu::UnicodeString result;
    format->format(milliseconds, result);
    result.toUTF8String(text);
    return text;
}

}  // namespace quillmer
