// The whole local path through the command-line tool, on a generated recording in which a box
// appears at 20 s while the transcript asks for a change there.
#include <gtest/gtest.h>

#include "core/atomic_file.h"
#include "core/json.h"
#include "core/sha256.h"
#include "platform/linux/posix_process_runner.h"
#include "support/temporary_folder.h"

namespace quillmer {
namespace {

ProcessResult run(const std::string& program, std::vector<std::string> arguments) {
    PosixProcessRunner runner;
    return runner.run({program, std::move(arguments), std::nullopt, ""});
}

ProcessResult quillmer(std::vector<std::string> arguments) { return run(QUILLMER_CLI_PATH, std::move(arguments)); }

class LocalPathTest : public ::testing::Test {
protected:
    testing::ScopedDataHome home_;
    testing::ScopedEnvironment user_{"HOME", home_.path().string()};
};

TEST_F(LocalPathTest, ImportTranscriptProcessAndExportOnce) {
    const auto recording = home_.path() / "meeting.mov";
    const auto captions = home_.path() / "meeting.vtt";
    ASSERT_TRUE(run("/usr/bin/ffmpeg",
                    {"-v", "error", "-f", "lavfi", "-i",
                     "color=c=0xEDF1F6:s=640x360:r=10:d=30,drawbox=x=400:y=60:w=80:h=40:color=0x27AE60:t=fill:"
                     "enable='gte(t,20)'",
                     "-c:v", "libx264", "-preset", "ultrafast", "-pix_fmt", "yuv420p", "-g", "20", recording.string()})
                    .succeeded());
    testing::writeTestFile(captions, "WEBVTT\n\n00:20.000 --> 00:23.000\ncan we move this button here, you need to "
                                     "fix the header\n");

    const auto imported = quillmer({"import-recording", recording.string()});
    ASSERT_EQ(imported.exitStatus, 0) << imported.standardError;
    const std::string id = imported.standardOutput.substr(0, 36);
    ASSERT_EQ(quillmer({"import-transcript", id, captions.string()}).exitStatus, 0);

    const auto processed = quillmer({"process", id});
    ASSERT_EQ(processed.exitStatus, 0) << processed.standardError;
    const auto exportFolder = home_.path() / "data" / "Quillmer" / "Exports" / id;
    EXPECT_EQ(processed.standardOutput, "1 evidence moments\n" + (exportFolder / "evidence.md").string() + "\n");

    const Json evidence = parseJSON(readWholeFile(exportFolder / "evidence.json"));
    ASSERT_EQ(evidence["candidates"].size(), 1u);
    const Json& candidate = evidence["candidates"][0];
    EXPECT_LE(candidate["rangeStartSeconds"].get<double>(), 20.0);
    EXPECT_GE(candidate["rangeEndSeconds"].get<double>(), 20.0);
    // Three frames, the outlined frame and the close-up, each with the digest of the copied file.
    ASSERT_EQ(candidate["frames"].size(), 5u);
    for (const auto& frame : candidate["frames"])
        EXPECT_EQ(frame["sha256"], sha256HexOfFile(exportFolder / frame["path"].get<std::string>()));
    // The anchor lies around the box (x 400-480, y 60-100 of 640 x 360).
    const Json& anchor = candidate["visualAnchor"];
    EXPECT_LE(anchor["x"].get<double>(), 400.0 / 640);
    EXPECT_GE(anchor["x"].get<double>() + anchor["width"].get<double>(), 480.0 / 640);
    EXPECT_LE(anchor["y"].get<double>(), 60.0 / 360);
    EXPECT_GE(anchor["y"].get<double>() + anchor["height"].get<double>(), 100.0 / 360);

    // Everything is done now: a second run does nothing and says the same.
    EXPECT_EQ(quillmer({"process", id}).standardOutput, processed.standardOutput);
    const auto again = quillmer({"export", id});
    EXPECT_EQ(again.exitStatus, 1);
    EXPECT_EQ(again.standardError, "quillmer: An export already exists at " + exportFolder.string() + ".\n");
    const auto listed = parseJSON(quillmer({"sessions", "--json"}).standardOutput);
    EXPECT_EQ(listed[0]["detail"], "Ready to analyze");

    // A second transcript (the other kind) replaces the first, and what was made from the first goes.
    testing::writeTestFile(home_.path() / "meeting.srt", "1\n00:00:05,000 --> 00:00:06,000\nhello there\n");
    ASSERT_EQ(quillmer({"import-transcript", id, (home_.path() / "meeting.srt").string()}).exitStatus, 0);
    EXPECT_FALSE(std::filesystem::exists(exportFolder));
    EXPECT_EQ(quillmer({"process", id}).standardOutput, "0 evidence moments\n" + (exportFolder / "evidence.md").string() + "\n");
}

}  // namespace
}  // namespace quillmer
