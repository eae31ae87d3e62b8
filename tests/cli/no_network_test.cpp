// Nothing leaves this computer unless analysis or remote transcription is approved and a route
// exists: the whole local path with transcription turned off, the analysis on this computer, the
// review and the brief, and a refused remote model address, with every connect() recorded.
#include <gtest/gtest.h>

#include <sstream>

#include "core/atomic_file.h"
#include "platform/linux/posix_process_runner.h"
#include "support/connect_log.h"
#include "support/temporary_folder.h"

namespace quillmer {
namespace {

ProcessResult run(const std::string& program, std::vector<std::string> arguments) {
    PosixProcessRunner runner;
    return runner.run({program, std::move(arguments), std::nullopt, ""});
}

TEST(NoNetwork, LocalPathToTheBriefConnectsOnlyToThisComputer) {
    testing::ScopedDataHome home;
    testing::ScopedEnvironment user("HOME", home.path().string());
    const auto recording = home.path() / "meeting.mov";
    const auto captions = home.path() / "meeting.vtt";
    ASSERT_TRUE(run("/usr/bin/ffmpeg", {"-v", "error", "-f", "lavfi", "-i", "color=s=320x180:r=10:d=12", "-f",
                                        "lavfi", "-i", "sine=d=12", "-c:v", "libx264", "-pix_fmt", "yuv420p", "-c:a",
                                        "aac", recording.string()})
                    .succeeded());
    testing::writeTestFile(captions, "WEBVTT\n\n00:06.000 --> 00:08.000\ncan we move this button here\n");

    const auto log = home.path() / "connects.log";
    testing::ScopedEnvironment preload("LD_PRELOAD", QUILLMER_CONNECT_RECORDER);
    testing::ScopedEnvironment logFile("QUILLMER_CONNECT_LOG", log.string());
    const auto quillmer = [](std::vector<std::string> arguments) { return run(QUILLMER_CLI_PATH, std::move(arguments)); };

    const auto imported = quillmer({"import-recording", recording.string()});
    ASSERT_EQ(imported.exitStatus, 0) << imported.standardError;
    const std::string id = imported.standardOutput.substr(0, 36);
    ASSERT_EQ(quillmer({"consent", "remote-transcription", "off"}).exitStatus, 0);
    const auto transcribed = quillmer({"transcribe", id});
    EXPECT_NE(transcribed.standardOutput.find("Route: on this computer, because remote transcription is not approved"),
              std::string::npos) << transcribed.standardOutput << transcribed.standardError;
    ASSERT_EQ(quillmer({"import-transcript", id, captions.string()}).exitStatus, 0);
    const auto processed = quillmer({"process", id});
    ASSERT_EQ(processed.exitStatus, 0) << processed.standardError;

    // No relay: processing went on to the transcript rules and the summary, on this computer.
    EXPECT_NE(processed.standardOutput.find("1 feedback items, found on this computer (rule-based, no model), 0 in the brief"),
              std::string::npos) << processed.standardOutput;
    EXPECT_NE(quillmer({"plan", id}).standardOutput.find("Nothing leaves this computer"), std::string::npos);
    EXPECT_EQ(quillmer({"analyze", id}).exitStatus, 0);  // nothing to approve
    EXPECT_EQ(quillmer({"brief", id}).exitStatus, 1);    // nothing included yet
    ASSERT_EQ(quillmer({"review", id, "--include-all"}).exitStatus, 0);
    const auto brief = quillmer({"brief", id});
    ASSERT_EQ(brief.exitStatus, 0) << brief.standardError;
    const std::string briefText = readWholeFile(brief.standardOutput.substr(0, brief.standardOutput.find('\n')));
    EXPECT_NE(briefText.find("> can we move this button here"), std::string::npos) << briefText;
    EXPECT_NE(briefText.find("- Analysis: transcript rules on this computer; no model judged these items"),
              std::string::npos);
    EXPECT_NE(briefText.find("cited by the transcript rules"), std::string::npos);
    EXPECT_EQ(quillmer({"settings", "set", "analysis.localModel.url", "http://example.com/v1"}).exitStatus, 1);

    testing::expectOnlyLoopbackConnections(log, 8);  // every run of the tool was recorded
}

}  // namespace
}  // namespace quillmer
