#include "transcription/external_transcript_importer.h"

#include <gtest/gtest.h>

#include "capture/session_folder.h"
#include "core/atomic_file.h"
#include "support/temporary_folder.h"
#include "support/thrown.h"

namespace quillmer {

void PrintTo(const ExternalTranscriptImporter::Cue& cue, std::ostream* out) {
    *out << cue.start << " --> " << cue.end << " \"" << cue.text << "\"";
}

namespace {

using namespace std::string_literals;
using Cue = ExternalTranscriptImporter::Cue;
using Cues = std::vector<Cue>;
using testing::TemporaryFolder;
using testing::writeTestFile;

// WebVTT and SubRip become spoken text; one bad timing line fails the whole file, naming the line
// (times are digits only, minutes and seconds 0-59, hours of sane size, the end after the start).
TEST(TranscriptCues, ParseIntoSpokenTextOrNameTheBadTimingLine) {
    const std::tuple<const char*, std::string, Cues> cases[] = {
        {"WebVTT header, NOTE and STYLE blocks, identifiers, tags and settings",
         "WEBVTT - meeting\n\nNOTE exported\nby the service\n\nSTYLE\n::cue { color: yellow }\n\nintro\n"
         "00:00:01.000 --> 00:00:04.000 align:start position:10%\n<v Anna>You need to fix the <b>header</b></v>\n\n2\n"
         "00:00:05.500 --> 00:00:07.250\n<v.loud Ben>Can we move <00:00:06.000>this button here?\n",
         {{1, 4, "You need to fix the header"}, {5.5, 7.25, "Can we move this button here?"}}},
        {"SubRip commas, CR LF, lines joined, hours",
         "1\r\n00:01:02,500 --> 00:01:04,000\r\nFirst line\r\nsecond line\r\n\r\n2\r\n01:00:00,000 --> 01:00:01,000\r\nLater\r\n",
         {{62.5, 64, "First line second line"}, {3600, 3601, "Later"}}},
        {"CR alone, U+2028 and no blank line between cues",
         "00:01.000 --> 00:02.000\rcr\r00:03.000 --> 00:04.000\u2028\u00A0x\u00A0\u2029", {{1, 2, "cr"}, {3, 4, "x"}}},
        {"cues without text are dropped; a tag-only line still leaves its space",
         "00:01.000 --> 00:02.000\n\n00:03.000 --> 00:04.000\n<i></i>\n\n00:05.000 --> 00:06.000\na\n<i></i>\nb\n",
         {{5, 6, "a  b"}}},
        {"unclosed and interrupted tags are markup, not text",
         "00:01.000 --> 00:02.000\n<v Roger\n<v Roger Hi <i>there</i> > ok\na <> b <c.x\n",
         {{1, 2, "there > ok a  b"}}},
        {"character references decode after the tags are gone",
         "00:01.000 --> 00:02.000\n&lt;b&gt;bold&lt;/b&gt; &amp; &quot;q&quot; it&#39;s&nbsp;&#x263A; &#233; &bogus; &#0; & 5\n",
         {{1, 2, "<b>bold</b> & \"q\" it's \u263A \u00E9 &bogus; &#0; & 5"}}},
        {"control characters other than tab are dropped",
         "00:01.000 --> 00:02.000\na\0b\x07\x7F\u009Bc\td&#7;\n"s, {{1, 2, "abc\td"}}},
    };
    for (const auto& [name, text, cues] : cases) EXPECT_EQ(ExternalTranscriptImporter::parseCues(text), cues) << name;

    for (const std::string line :
         {"00:05.000 --> 00:05.000", "00:02.000 --> 00:01.000", "00:01 --> 00:02 --> 00:03", "1 --> 2",
          "1:2:3:4 --> 1:2:3:5", "00:-02.000 --> 00:03.000", "-00:00:02.000 --> 00:00:03.000",
          "99999999:00:00.000 --> 99999999:00:01.000", "00:60:00.000 --> 00:61:00.000", "00:00:75.000 --> 00:00:76.000",
          "1.5:00 --> 2:00", "00::02.000 --> 00:00:03.000", "00:0x1 --> 00:nan"}) {
        const auto error = testing::thrown<ExternalTranscriptError>(
            [&] { ExternalTranscriptImporter::parseCues("00:01.000 --> 00:02.000\nfine\n\n  " + line + "  \ntext\n"); });
        EXPECT_EQ(error.value().what(), "Quillmer could not read transcript timing: " + line);
    }
}

class ExternalTranscriptImport : public ::testing::Test {
protected:
    void SetUp() override {
        manifest_.id = Uuid::random();
        writeManifest(session_.path(), manifest_);
    }

    std::filesystem::path picked(const std::string& name, const std::string& bytes) {
        writeTestFile(picks_ / name, bytes);
        return picks_ / name;
    }

    std::string sessionFile(const char* name) const { return readWholeFile(session_ / name); }

    TemporaryFolder session_, picks_, exports_;
    LocalSessionManifest manifest_;
    ExternalTranscriptImporter importer_{exports_.path()};
};

// A second import of the same kind would overwrite the kept copy; one of the other kind replaces
// the transcript and, with it, the export made from the old one.
TEST_F(ExternalTranscriptImport, StoresCuesKeepsTheCopyAndReplacesOnlyThroughANewCopy) {
    const std::string srt = "\xEF\xBB\xBF" "1\n00:00:09,000 --> 00:00:10,000\nlater cue first\n\n2\n00:01:02,500 --> 00:01:04,000\nFix\n";
    const auto transcript = importer_.importTranscript(picked("Meeting.SRT", srt), session_.path());
    EXPECT_EQ(transcript.audioFile, "source-transcript.srt");
    EXPECT_FALSE(transcript.provider);
    ASSERT_EQ(transcript.segments.size(), 2u);
    EXPECT_EQ(transcript.segments[0].text, "later cue first");  // not sorted
    EXPECT_DOUBLE_EQ(transcript.segments[1].durationSeconds, 1.5);
    EXPECT_EQ(sessionFile("source-transcript.srt"), srt);  // byte for byte, BOM included
    const std::string transcriptBefore = sessionFile(kTranscriptFileName);
    EXPECT_EQ(transcriptBefore, encodeJSON(transcript.toJSON()));
    EXPECT_EQ(readManifest(session_.path()).transcriptFile, "transcript.json");
    const std::string manifestBefore = sessionFile(kSessionManifestFileName);
    writeTestFile(exports_ / manifest_.id.toString() / "evidence.json", "{}");

    EXPECT_THROW(importer_.importTranscript(picked("second.srt", "00:03.000 --> 00:04.000\nsecond\n"), session_.path()),
                 FileSystemError);
    EXPECT_EQ(sessionFile(kTranscriptFileName), transcriptBefore);
    EXPECT_EQ(sessionFile(kSessionManifestFileName), manifestBefore);
    EXPECT_TRUE(std::filesystem::exists(exports_ / manifest_.id.toString()));

    importer_.importTranscript(picked("second.vtt", "WEBVTT\n\n00:03.000 --> 00:04.000\nvtt\n"), session_.path());
    EXPECT_EQ(readTranscript(session_ / kTranscriptFileName).segments.at(0).text, "vtt");
    EXPECT_FALSE(std::filesystem::exists(exports_ / manifest_.id.toString()));
}

TEST_F(ExternalTranscriptImport, FailuresBeforeTheCopyLeaveTheFolderUntouched) {
    const auto expectFailure = [&](const std::filesystem::path& file, const std::string& message) {
        EXPECT_EQ(testing::thrown<Error>([&] { importer_.importTranscript(file, session_.path()); }).value().what(), message);
        EXPECT_FALSE(std::filesystem::exists(session_ / kTranscriptFileName));
        EXPECT_FALSE(std::filesystem::exists(session_ / "source-transcript.vtt"));
    };
    // notes.txt is never read: it does not even exist.
    expectFailure(picks_ / "notes.txt", "Quillmer supports VTT and SRT transcripts. notes.txt is not supported.");
    expectFailure(picked("empty.vtt", "WEBVTT\n\n00:01.000 --> 00:02.000\n\n"),
                  "Quillmer could not find timestamped cues in this transcript.");
    expectFailure(picked("latin1.vtt", "00:01.000 --> 00:02.000\ncaf\xE9\n"),
                  "The file \"latin1.vtt\" couldn't be opened because its text is not UTF-8.");
    // An unreadable manifest is found before the copy is kept, so a later import can still work.
    writeTestFile(session_ / kSessionManifestFileName, "{");
    EXPECT_THROW(importer_.importTranscript(picked("ok.vtt", "00:01.000 --> 00:02.000\nok\n"), session_.path()),
                 DecodingError);
    writeManifest(session_.path(), manifest_);
    EXPECT_NO_THROW(importer_.importTranscript(picks_ / "ok.vtt", session_.path()));
}

}  // namespace
}  // namespace quillmer
