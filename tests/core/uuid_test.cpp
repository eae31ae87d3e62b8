#include "core/uuid.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>

namespace quillmer {
namespace {

TEST(Uuid, RandomIsCanonicalVersion4AndFreshAndParsingTakesEitherCaseButNothingElse) {
    std::set<std::string> seen;
    const std::regex canonical("[0-9A-F]{8}-[0-9A-F]{4}-4[0-9A-F]{3}-[89AB][0-9A-F]{3}-[0-9A-F]{12}");
    for (int i = 0; i < 1000; ++i) {
        const std::string text = *seen.insert(Uuid::random().toString()).first;
        EXPECT_TRUE(std::regex_match(text, canonical)) << text;
    }
    EXPECT_EQ(seen.size(), 1000u);
    const auto lower = Uuid::parse("0a1b2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4d");
    ASSERT_TRUE(lower);
    EXPECT_EQ(lower->toString(), "0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D");
    for (const char* text : {"", "0A1B2C3D4E5F4A6B8C7D9E0F1A2B3C4D", "0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4",
                             "0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4DD", "0A1B2C3-D4E5F-4A6B-8C7D-9E0F1A2B3C4D",
                             "0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4G", "../../etc/passwd-0000-0000-000000000"})
        EXPECT_FALSE(Uuid::parse(text)) << text;
}

}  // namespace
}  // namespace quillmer
