// Small value types every file format relies on: dates, time stamps, ids and digests.
#include <gtest/gtest.h>

#include <cmath>
#include <regex>
#include <set>

#include "core/error.h"
#include "core/iso8601.h"
#include "core/sha256.h"
#include "core/time_format.h"
#include "core/uuid.h"
#include "support/temporary_folder.h"

namespace quillmer {
namespace {

using namespace std::chrono;

const Timestamp kAt = sys_days{year{2026} / May / 4} + hours{9} + minutes{30} + seconds{12};

TEST(ISO8601, FormatsUTCWholeSecondsParsesFractionsAndOffsetsAndRefusesMalformedOrImpossibleDates) {
    EXPECT_EQ(formatISO8601(kAt + milliseconds{999}), "2026-05-04T09:30:12Z");
    EXPECT_EQ(formatISO8601(sys_days{year{1970} / January / 1} - milliseconds{500}), "1969-12-31T23:59:59Z");
    EXPECT_EQ(parseISO8601("2026-05-04T09:30:12Z"), kAt);
    EXPECT_EQ(parseISO8601("2026-05-04T09:30:12.250Z"), kAt + milliseconds{250});
    EXPECT_EQ(parseISO8601("2026-05-04T11:30:12+02:00"), kAt);
    EXPECT_EQ(parseISO8601("2026-05-04T04:00:12-0530"), kAt);
    for (const char* text : {"", "2026-05-04", "2026-05-04T09:30:12", "2026-02-30T00:00:00Z", "2026-13-01T00:00:00Z",
                             "2026-05-04T24:00:00Z", "2026-05-04T09:30:12Zjunk", "2026-05-04T09:30:12.Z",
                             "26-05-04T09:30:12Z", "2026-05-04 09:30:12Z", "2026-05-04T09:30:12+2:00"})
        EXPECT_FALSE(parseISO8601(text)) << text;
}

TEST(TimeFormat, MinutesAndSecondsWithHundredthsNeverSixtySecondsNorNonsense) {
    const std::pair<double, const char*> cases[] = {
        {75.5, "01:15.50"},  {3725.25, "62:05.25"}, {65.25, "01:05.25"}, {0, "00:00.00"},       {6000, "100:00.00"},
        {59.999, "01:00.00"}, {119.996, "02:00.00"}, {-3, "00:00.00"},    {std::nan(""), "00:00.00"}, {INFINITY, "00:00.00"},
    };
    for (const auto& [seconds, text] : cases) EXPECT_EQ(formatTimestamp(seconds), text) << seconds;
}

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

TEST(SHA256, KnownDigestAndFileDigestsAcrossPieceBoundaries) {
    EXPECT_EQ(sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    testing::TemporaryFolder folder;
    for (size_t size : {size_t{0}, size_t{1} << 20, (size_t{5} << 19) + 7}) {  // empty, one piece, 2.5 pieces
        std::string bytes(size, '\0');
        for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 131 % 251);
        testing::writeTestFile(folder / "media.bin", bytes);
        EXPECT_EQ(sha256HexOfFile(folder / "media.bin"), sha256Hex(bytes)) << size;
    }
    EXPECT_THROW(sha256HexOfFile(folder / "missing.bin"), FileSystemError);
    EXPECT_THROW(sha256HexOfFile(folder.path()), FileSystemError);

    std::stop_source stop;
    stop.request_stop();
    EXPECT_THROW(sha256HexOfFile(folder / "media.bin", stop.get_token()), CancellationError);
}

}  // namespace
}  // namespace quillmer
