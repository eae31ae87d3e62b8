#include "transcription/external_transcript_importer.h"

#include <gtest/gtest.h>

#include "capture/session_folder.h"
#include "core/atomic_file.h"
#include "support/temporary_folder.h"

namespace quillmer {
namespace {

using Cue = ExternalTranscriptImporter::Cue;
using testing::TemporaryFolder;
using testing::writeTestFile;

std::vector<Cue> parse(std::string_view text) { return ExternalTranscriptImporter::parseCues(text); }

std::string invalidTimestampText(std::string_view text) {
    try {
        parse(text);
    } catch (const ExternalTranscriptError& error) {
        EXPECT_EQ(error.kind(), ExternalTranscriptErrorCase::invalidTimestamp);
        return error.what();
    }
    ADD_FAILURE() << "parsed without error";
    return {};
}

TEST(TranscriptCues, WebVTTHeaderNotesIdentifiersTagsAndSettingsAreSkipped) {
    const auto cues = parse(
        "WEBVTT - meeting\n\n"
        "NOTE exported by the meeting service\nspanning two lines\n\n"
        "STYLE\n::cue { color: yellow }\n\n"
        "intro\n"
        "00:00:01.000 --> 00:00:04.000 align:start position:10%\n"
        "<v Anna>You need to fix the <b>header</b></v>\n\n"
        "2\n"
        "00:00:05.500 --> 00:00:07.250\n"
        "<v.loud Ben>Can we move <00:00:06.000>this button here?\n");
    EXPECT_EQ(cues, (std::vector<Cue>{{1, 4, "You need to fix the header"}, {5.5, 7.25, "Can we move this button here?"}}));
}

TEST(TranscriptCues, SubRipCommaMillisecondsAndCRLF) {
    const auto cues = parse("1\r\n00:01:02,500 --> 00:01:04,000\r\nFirst line\r\nsecond line\r\n\r\n2\r\n01:00:00,000 --> 01:00:01,000\r\nLater\r\n");
    ASSERT_EQ(cues.size(), 2u);
    EXPECT_DOUBLE_EQ(cues[0].start, 62.5);
    EXPECT_DOUBLE_EQ(cues[0].end - cues[0].start, 1.5);
    EXPECT_EQ(cues[0].text, "First line second line");
    EXPECT_EQ(cues[1], (Cue{3600, 3601, "Later"}));
    // Old Mac line ends (CR alone) break lines too.
    EXPECT_EQ(parse("00:01.000 --> 00:02.000\rcr\r\r00:03.000 --> 00:04.000\rx"), (std::vector<Cue>{{1, 2, "cr"}, {3, 4, "x"}}));
}

TEST(TranscriptCues, TextLinesJoinAndCuesWithoutBlankLinesBetweenBothCount) {
    const auto cues = parse("00:01.000 --> 00:02.000\nspread over\ntwo lines\n00:02.000 --> 00:03.000\nnext\n");
    EXPECT_EQ(cues, (std::vector<Cue>{{1, 2, "spread over two lines"}, {2, 3, "next"}}));
}

TEST(TranscriptCues, MinutesFormFractionsAnywhereAndUnicodeLineBreaks) {
    EXPECT_EQ(parse("01:02.000 --> 01:03.000\nminutes only"), (std::vector<Cue>{{62, 63, "minutes only"}}));
    EXPECT_EQ(ExternalTranscriptImporter::parseTimestamp("1.5:00"), 90.0);
    EXPECT_EQ(ExternalTranscriptImporter::parseTimestamp(" 0:0:1,25 line:0"), 1.25);
    // U+2028 ends a line like LF does; U+00A0 is white space to trim.
    EXPECT_EQ(parse("00:01.000 --> 00:02.000\u2028\u00A0hello\u00A0\u2029"), (std::vector<Cue>{{1, 2, "hello"}}));
}

TEST(TranscriptCues, CuesWithoutTextAreDropped) {
    EXPECT_TRUE(parse("WEBVTT\n\n00:01.000 --> 00:02.000\n\n00:03.000 --> 00:04.000\n<i></i>\n").empty());
    // A line made only of tags still counts as a piece, so it leaves its space behind.
    EXPECT_EQ(parse("00:01.000 --> 00:02.000\na\n<i></i>\nb\n"), (std::vector<Cue>{{1, 2, "a  b"}}));
    // "<[^>]+>" runs from a '<' to the next '>', whatever lies between; "<>" alone is no tag.
    EXPECT_EQ(parse("00:01.000 --> 00:02.000\n1 < 2 <> 3\n"), (std::vector<Cue>{{1, 2, "1  3"}}));
    EXPECT_EQ(parse("00:01.000 --> 00:02.000\na <> b > c <\n"), (std::vector<Cue>{{1, 2, "a <> b > c <"}}));
}

TEST(TranscriptCues, ABadTimingLineFailsTheWholeFileNamingTheLine) {
    const std::string prefix = "Quillmer could not read transcript timing: ";
    EXPECT_EQ(invalidTimestampText("00:01.000 --> 00:02.000\nfine\n\n  00:05.000 --> 00:05.000  \nsame\n"),
              prefix + "00:05.000 --> 00:05.000");
    EXPECT_EQ(invalidTimestampText("00:02.000 --> 00:01.000\nbackwards"), prefix + "00:02.000 --> 00:01.000");
    EXPECT_EQ(invalidTimestampText("00:01 --> 00:02 --> 00:03\nx"), prefix + "00:01 --> 00:02 --> 00:03");
    EXPECT_EQ(invalidTimestampText("1 --> 2\nno colon"), prefix + "1 --> 2");
    EXPECT_EQ(invalidTimestampText("1:2:3:4 --> 1:2:3:5\nfour pieces"), prefix + "1:2:3:4 --> 1:2:3:5");
    EXPECT_EQ(invalidTimestampText("00:0x1 --> 00:02\nhex"), prefix + "00:0x1 --> 00:02");
    // Numbers that do not make a finite time are refused rather than stored.
    EXPECT_EQ(invalidTimestampText("00:nan --> 00:inf\nx"), prefix + "00:nan --> 00:inf");
    EXPECT_EQ(invalidTimestampText("-" + std::string(400, '9') + ":00 --> 00:01\nx").substr(0, prefix.size() + 1),
              prefix + "-");
}

class ExternalTranscriptImport : public ::testing::Test {
protected:
    void SetUp() override {
        manifest_.id = Uuid::random();
        manifest_.createdAt = std::chrono::system_clock::now();
        manifest_.videoFile = kScreenVideoFileName;
        writeManifest(session_.path(), manifest_);
    }

    std::filesystem::path picked(const std::string& name, const std::string& bytes) {
        const auto file = picks_ / name;
        writeTestFile(file, bytes);
        return file;
    }

    std::string sessionFile(const char* name) const { return readWholeFile(session_ / name); }

    TemporaryFolder session_;
    TemporaryFolder picks_;
    LocalSessionManifest manifest_;
    ExternalTranscriptImporter importer_;
};

TEST_F(ExternalTranscriptImport, StoresCuesInFileOrderKeepsTheCopyAndRecordsTheManifest) {
    const std::string srt = "\xEF\xBB\xBF" "1\n00:00:09,000 --> 00:00:10,000\nlater cue first\n\n2\n00:01:02,500 --> 00:01:04,000\nFix <b>this</b>\n";
    const auto transcript = importer_.importTranscript(picked("Meeting.SRT", srt), session_.path());
    EXPECT_EQ(transcript.schemaVersion, 1);
    EXPECT_EQ(transcript.audioFile, "source-transcript.srt");
    EXPECT_EQ(transcript.localeIdentifier, "und");
    EXPECT_FALSE(transcript.provider);
    ASSERT_EQ(transcript.segments.size(), 2u);
    EXPECT_EQ(transcript.segments[0].text, "later cue first");  // not sorted
    EXPECT_DOUBLE_EQ(transcript.segments[1].startSeconds, 62.5);
    EXPECT_DOUBLE_EQ(transcript.segments[1].durationSeconds, 1.5);
    EXPECT_NE(transcript.segments[0].id, transcript.segments[1].id);
    for (const auto& segment : transcript.segments) {
        EXPECT_FALSE(segment.confidence || segment.speaker || segment.sourceTrack);
    }
    EXPECT_EQ(sessionFile("source-transcript.srt"), srt);  // byte for byte, BOM included
    EXPECT_EQ(encodeJSON(readTranscript(session_ / kTranscriptFileName).toJSON()), encodeJSON(transcript.toJSON()));
    EXPECT_EQ(readManifest(session_.path()).transcriptFile, "transcript.json");
}

TEST_F(ExternalTranscriptImport, ASecondCopyOfTheSameKindIsRefusedAndChangesNothing) {
    importer_.importTranscript(picked("first.vtt", "WEBVTT\n\n00:01.000 --> 00:02.000\nfirst\n"), session_.path());
    const std::string transcriptBefore = sessionFile(kTranscriptFileName);
    const std::string manifestBefore = sessionFile(kSessionManifestFileName);
    const std::string copyBefore = sessionFile("source-transcript.vtt");

    EXPECT_THROW(importer_.importTranscript(picked("second.vtt", "WEBVTT\n\n00:03.000 --> 00:04.000\nsecond\n"), session_.path()),
                 FileSystemError);
    EXPECT_EQ(sessionFile(kTranscriptFileName), transcriptBefore);
    EXPECT_EQ(sessionFile(kSessionManifestFileName), manifestBefore);
    EXPECT_EQ(sessionFile("source-transcript.vtt"), copyBefore);

    // The other kind is a different copy and goes through.
    const auto srt = importer_.importTranscript(picked("second.srt", "1\n00:00:03,000 --> 00:00:04,000\nsrt\n"), session_.path());
    EXPECT_EQ(readTranscript(session_ / kTranscriptFileName).segments.at(0).text, "srt");
    EXPECT_EQ(srt.audioFile, "source-transcript.srt");
}

TEST_F(ExternalTranscriptImport, FailuresBeforeTheCopyLeaveTheFolderUntouched) {
    const auto expectUntouched = [&] {
        EXPECT_FALSE(std::filesystem::exists(session_ / kTranscriptFileName));
        EXPECT_FALSE(std::filesystem::exists(session_ / "source-transcript.vtt"));
        EXPECT_FALSE(readManifest(session_.path()).transcriptFile);
    };
    try {
        importer_.importTranscript(picks_ / "notes.txt", session_.path());  // never read: it does not even exist
        ADD_FAILURE();
    } catch (const ExternalTranscriptError& error) {
        EXPECT_EQ(error.kind(), ExternalTranscriptErrorCase::unsupportedFile);
        EXPECT_STREQ(error.what(), "Quillmer supports VTT and SRT transcripts. notes.txt is not supported.");
    }
    try {
        importer_.importTranscript(picked("empty.vtt", "WEBVTT\n\n00:01.000 --> 00:02.000\n\n"), session_.path());
        ADD_FAILURE();
    } catch (const ExternalTranscriptError& error) {
        EXPECT_EQ(error.kind(), ExternalTranscriptErrorCase::noCues);
        EXPECT_STREQ(error.what(), "Quillmer could not find timestamped cues in this transcript.");
    }
    EXPECT_THROW(importer_.importTranscript(picked("latin1.vtt", "00:01.000 --> 00:02.000\ncaf\xE9\n"), session_.path()),
                 DecodingError);
    EXPECT_THROW(importer_.importTranscript(picked("bad.vtt", "00:03.000 --> 00:02.000\nx\n"), session_.path()),
                 ExternalTranscriptError);
    expectUntouched();

    // An unreadable manifest is found before the copy is kept, so a later import can still work.
    const std::string manifest = sessionFile(kSessionManifestFileName);
    writeTestFile(session_ / kSessionManifestFileName, "{");
    EXPECT_THROW(importer_.importTranscript(picked("ok.vtt", "00:01.000 --> 00:02.000\nok\n"), session_.path()),
                 DecodingError);
    writeTestFile(session_ / kSessionManifestFileName, manifest);
    expectUntouched();
}

}  // namespace
}  // namespace quillmer
