#include "platform/date_text.h"

#include <gtest/gtest.h>

#include <chrono>

#include "support/temporary_folder.h"

namespace quillmer {
namespace {

using namespace std::chrono_literals;
using testing::ScopedEnvironment;

// The date library reads the time zone once per process; every case here uses UTC.
class DateTextTest : public ::testing::Test {
protected:
    ScopedEnvironment zone_{"TZ", "UTC"};
};

TEST_F(DateTextTest, OlderDatesUseTheLocalesShortStylesAndUnusualLocaleNamesStillGiveText) {
    const auto time = *parseISO8601("2026-05-04T09:30:12Z");
    EXPECT_EQ(formatShortRelativeDateTime(time, "en_US.UTF-8"), "5/4/26, 9:30\u202FAM");
    EXPECT_EQ(formatShortRelativeDateTime(time, "de_DE.UTF-8"), "04.05.26, 09:30");
    for (const char* locale : {"", "C", "POSIX", "C.UTF-8", "zz_ZZ", "@@@"})
        EXPECT_NE(formatShortRelativeDateTime(time, locale).find("26"), std::string::npos) << locale;
}

TEST_F(DateTextTest, TodayAndYesterdayAreRelativeAndCapitalised) {
    const auto now = std::chrono::system_clock::now();
    EXPECT_TRUE(formatShortRelativeDateTime(now, "en_US.UTF-8").starts_with("Today")) << formatShortRelativeDateTime(now, "en_US");
    EXPECT_TRUE(formatShortRelativeDateTime(now - 24h, "en_US.UTF-8").starts_with("Yesterday"));
    EXPECT_TRUE(formatShortRelativeDateTime(now, "de_DE").starts_with("Heute"));
    EXPECT_FALSE(formatShortRelativeDateTime(now - 72h, "en_US").starts_with("Today"));
}

TEST(UserDateLocale, TimeSettingsOverrideTheLanguage) {
    ScopedEnvironment all("LC_ALL", std::nullopt), time("LC_TIME", std::nullopt), lang("LANG", "fr_FR.UTF-8");
    EXPECT_EQ(userDateLocale(), "fr_FR.UTF-8");
    {
        ScopedEnvironment timeSet("LC_TIME", "de_DE.UTF-8");
        EXPECT_EQ(userDateLocale(), "de_DE.UTF-8");
        ScopedEnvironment allSet("LC_ALL", "en_GB.UTF-8");
        EXPECT_EQ(userDateLocale(), "en_GB.UTF-8");
    }
    ScopedEnvironment noLang("LANG", std::nullopt);
    EXPECT_EQ(userDateLocale(), "");
}

}  // namespace
}  // namespace quillmer
