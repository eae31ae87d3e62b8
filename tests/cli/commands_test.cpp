// The command-line tool: record on fakes in this process, everything else as a user runs it, in a
// private data home.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "core/atomic_file.h"
#include "core/error.h"
#include "platform/linux/posix_process_runner.h"
#include "support/export_builders.h"
#include "support/generated_video.h"
#include "support/temporary_folder.h"
#include "support/test_sessions.h"

namespace quillmer::testing {
namespace {

namespace fs = std::filesystem;

ProcessResult quillmer(std::vector<std::string> arguments) {
    return PosixProcessRunner().run({QUILLMER_CLI_PATH, std::move(arguments), std::nullopt, ""});
}

// Every path under `folder` with its size and time, to tell that nothing at all changed.
std::vector<std::string> everything(const fs::path& folder) {
    std::vector<std::string> entries;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        std::error_code ignored;
        entries.push_back(entry.path().string() + " " + std::to_string(entry.is_regular_file() ? entry.file_size() : 0) +
                          " " + std::to_string(fs::last_write_time(entry.path(), ignored).time_since_epoch().count()));
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}

class CommandLineTest : public ::testing::Test {
protected:
    ScopedDataHome home_;
    ScopedEnvironment user_{"HOME", home_.path().string()};
    fs::path sessions_ = home_.path() / "data" / "Quillmer" / "Sessions";
    fs::path exports_ = home_.path() / "data" / "Quillmer" / "Exports";
};

// Process prints where each file went and, once everything is done, does nothing more; a second
// transcript replaces what was made from the first; `latest` names the newest meeting. (Importing and
// processing a real recording: the no-network and demo tests.)
TEST_F(CommandLineTest, ProcessReplaceTheTranscriptAndDeleteLatest) {
    const auto manifest = recordedManifest(std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now()));
    writeTestSession(sessions_, manifest, {{{"hello"}}, 0});
    const auto id = manifest.id.toString();
    const auto exportFolder = exports_ / id;
    // Without a relay, processing goes on to the transcript rules and the summary, on this computer.
    const std::string processed = "0 evidence moments\n" + (exportFolder / "evidence.md").string() +
                                  "\n0 feedback items, found on this computer (rule-based, no model)\n" +
                                  (exportFolder / "feedback.md").string() + "\n" +
                                  (exportFolder / "meeting-summary.md").string() + "\n";
    for (int run = 0; run < 2; ++run) EXPECT_EQ(quillmer({"process", id}).standardOutput, processed) << run;
    const auto again = quillmer({"export", id});
    EXPECT_EQ(std::tie(again.exitStatus, again.standardError),
              std::make_tuple(1, "quillmer: An export already exists at " + exportFolder.string() + ".\n"));

    writeTestFile(home_.path() / "meeting.srt", "1\n00:00:05,000 --> 00:00:06,000\nhello there\n");
    ASSERT_EQ(quillmer({"import-transcript", id, (home_.path() / "meeting.srt").string()}).exitStatus, 0);
    EXPECT_FALSE(fs::exists(exportFolder));
    EXPECT_EQ(quillmer({"delete", "latest"}).exitStatus, 0);
    EXPECT_EQ(quillmer({"sessions"}).standardOutput, "");
    EXPECT_TRUE(fs::exists(home_.path() / "data" / "Trash" / "files" / id));
}

// A failure exits 1 with the error text, a usage mistake 2.
TEST_F(CommandLineTest, ExitStatuses) {
    EXPECT_EQ(quillmer({"import-recording", "notes.mkv"}).standardError,
              "quillmer: Quillmer supports local MP4, MOV, and M4V recordings. notes.mkv is not a supported recording.\n");
    for (const auto& [arguments, status] : std::vector<std::pair<std::vector<std::string>, int>>{
             {{"import-recording", "notes.mkv"}, 1}, {{"delete", "latest"}, 1}, {{"delete", "not-an-id"}, 1},
             {{"sessions", "--bogus"}, 2}, {{"import-recording", "--help"}, 0}})
        EXPECT_EQ(quillmer(arguments).exitStatus, status) << arguments[0] << " " << arguments[1];
}

// A command given a folder that is not a readable session fails and touches nothing, although the
// engine behind process starts on the newest meeting (which needs only its export). A look-alike
// folder in lower case is never a session: its id reaches the canonical folder, so delete moves
// exactly what show printed.
TEST_F(CommandLineTest, EveryCommandActsOnTheSessionItWasGivenOrFails) {
    const auto newest = recordedManifest(std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now()));
    writeTestSession(sessions_, newest, {{{"hello"}}, 0});
    fs::create_directories(exports_);
    auto lookAlike = newest;
    lookAlike.width = 640;
    const std::string lower = lowerCase(newest.id.toString());
    writeTestFile(sessions_ / lower / "session.json", encodeJSON(lookAlike.toJSON()));
    auto nothingRecorded = recordedManifest(*parseISO8601("2026-05-04T09:30:12Z"));
    nothingRecorded.firstVideoPTSSeconds.reset();
    writeTestSession(sessions_, nothingRecorded);
    const auto empty = Uuid::random().toString(), broken = Uuid::random().toString(), renamed = Uuid::random().toString();
    fs::create_directories(sessions_ / empty);
    writeTestFile(sessions_ / broken / "session.json", "{ \"id\" : ");
    writeTestFile(sessions_ / renamed / "session.json", encodeJSON(recordedManifest(newest.createdAt).toJSON()));
    writeTestFile(home_.path() / "captions.vtt", "WEBVTT\n\n00:01.000 --> 00:02.000\nhello\n");
    const auto before = everything(home_.path());

    for (const auto& session : {empty, broken, renamed, nothingRecorded.id.toString(), Uuid::random().toString(),
                                (sessions_ / lower).string(), (home_.path() / "data").string()}) {
        for (const auto& command : std::vector<std::vector<std::string>>{
                 {"show", session}, {"transcribe", session}, {"extract", session}, {"export", session},
                 {"process", session}, {"review", session}, {"brief", session}, {"delete", session},
                 {"import-transcript", session, (home_.path() / "captions.vtt").string()}}) {
            const auto result = quillmer(command);
            EXPECT_EQ(result.exitStatus, 1) << command[0] << " " << session << ": " << result.standardError;
            EXPECT_TRUE(result.standardOutput.empty()) << command[0] << " " << session;
        }
    }
    EXPECT_EQ(everything(home_.path()), before);

    EXPECT_EQ(parseJSON(quillmer({"show", lower}).standardOutput)["width"], 1280);
    ASSERT_EQ(quillmer({"delete", lower}).exitStatus, 0);
    EXPECT_TRUE(fs::exists(home_.path() / "data" / "Trash" / "files" / newest.id.toString()));
    EXPECT_TRUE(fs::exists(sessions_ / lower / "session.json"));
    EXPECT_EQ(quillmer({"show", lower}).exitStatus, 1);
}

TEST_F(CommandLineTest, ReviewChoosesTheItemsAndBriefWritesThem) {
    const auto manifest = recordedManifest(*parseISO8601("2026-05-04T09:30:12Z"));
    writeTestSession(sessions_, manifest);
    const auto id = manifest.id.toString();
    const auto exportFolder = exports_ / id;
    EXPECT_EQ(quillmer({"brief", id}).standardError,
              "quillmer: \"" + id + "\" has no grounded feedback yet; run quillmer analyze " + id + " first\n");
    writeGroundedExport(exportFolder);
    EXPECT_EQ(quillmer({"review", id, "--include", lowerCase(kGroundedA)}).standardOutput,
              "[x] " + kGroundedA + "  01:05.25  87%  Comp A\n[ ] " + kGroundedB + "  00:01.00  72%  Comp B\n");
    EXPECT_EQ(quillmer({"brief", id}).standardOutput, (exportFolder / "implementation-brief.md").string() + "\n");
    const auto printed = quillmer({"brief", id, "--print"}).standardOutput;  // before the file is read: it rewrites it
    EXPECT_EQ(printed, readWholeFile(exportFolder / "implementation-brief.md"));
    ASSERT_EQ(quillmer({"review", id, "--exclude", kGroundedA}).exitStatus, 0);
    const auto nothing = quillmer({"brief", id});
    EXPECT_EQ(std::tie(nothing.exitStatus, nothing.standardError),
              std::make_tuple(1, "quillmer: The implementation brief could not be written: No grounded implementation "
                                 "changes are ready yet.\n"));
    EXPECT_EQ(quillmer({"review", id, "--include", kGroundedA, "--exclude", kGroundedB}).exitStatus, 2);
}

// Ctrl-C while `process` extracts evidence: it says it stops, and no later stage starts (no export,
// not even a half-made one), with a failure exit, even when the extraction itself completes.
TEST_F(CommandLineTest, AnInterruptedProcessStartsNoLaterStage) {
    const auto recording = home_.path() / "long.mp4";
    ASSERT_TRUE(runFFmpeg({"-f", "lavfi", "-i", "testsrc=size=1920x1080:rate=1:duration=600", "-c:v", "libx264",
                           "-preset", "ultrafast", "-g", "600", "-pix_fmt", "yuv420p", recording.string()}));
    const std::string id = quillmer({"import-recording", recording.string()}).standardOutput.substr(0, 36);
    // One moment near the end of a ten-minute video with a single keyframe: its frames take a while
    // to decode, so the stop arrives after the extraction last looked for one and it finishes anyway.
    const std::string captions = "WEBVTT\n\n00:09:50.000 --> 00:09:52.000\nRemove the banner\n";
    writeTestFile(home_.path() / "long.vtt", captions);
    ASSERT_EQ(quillmer({"import-transcript", id, (home_.path() / "long.vtt").string()}).exitStatus, 0);

    const auto log = home_.path() / "process.log";
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(fd, STDERR_FILENO);
        ::execl(QUILLMER_CLI_PATH, QUILLMER_CLI_PATH, "process", id.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    const auto logged = [&] { return std::filesystem::exists(log) ? readWholeFile(log) : std::string(); };
    while (logged().find("Matching words") == std::string::npos) {
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, WNOHANG), 0) << "ended before extracting: " << logged();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ::kill(child, SIGINT);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << logged();
    EXPECT_EQ(WEXITSTATUS(status), 1) << logged();
    EXPECT_NE(logged().find("Stopping safely"), std::string::npos);
    EXPECT_EQ(logged().find("Preparing cited evidence"), std::string::npos) << logged();
    EXPECT_TRUE(!fs::exists(exports_) || fs::is_empty(exports_));
}

}  // namespace
}  // namespace quillmer::testing
