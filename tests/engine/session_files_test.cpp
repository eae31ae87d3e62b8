// What the stages read and leave in a session folder, on the real stage functions.
#include <gtest/gtest.h>

#include <functional>
#include <set>

#include "capture/local_session_library.h"
#include "core/atomic_file.h"
#include "engine/processing_stages.h"
#include "support/generated_video.h"
#include "support/recording_trash.h"
#include "support/temporary_folder.h"
#include "support/test_sessions.h"

namespace quillmer::testing {
namespace {

namespace fs = std::filesystem;

class SessionFilesTest : public ::testing::Test {
protected:
    SessionFilesTest() {
        storeTranscript(folder, manifest, transcriptSaying({"can we move this button here"}));
        writeTestFile(folder / kCandidateFileName, candidatesJSON(0));
        manifest = updateManifest(folder, [](auto& m) { m.candidateFile = kCandidateFileName; });
    }

    ScopedDataHome home;
    ScopedEnvironment locale{"LC_ALL", "en_US.UTF-8"};
    fs::path sessions = home.path() / "Sessions";
    LocalSessionManifest manifest = recordedManifest(*parseISO8601("2026-05-04T09:30:12Z"));
    fs::path folder = writeTestSession(sessions, manifest);
    ProcessingStages stages = availableProcessingStages();
};

std::string failureOf(const std::function<void()>& work) {
    try {
        work();
    } catch (const std::exception& error) {
        return error.what();
    }
    return "(no failure)";
}

// A hostile session.json names files outside its folder; every reader of a named file refuses it
// the same way, though the file outside exists and would be readable.
TEST_F(SessionFilesTest, ManifestNamedFilesOutsideTheSessionAreNeverRead) {
    const fs::path outside = sessions / "outside";
    writeTestFile(outside / kTranscriptFileName, encodeJSON(transcriptSaying({"make this bigger"}).toJSON()));
    writeTestFile(outside / kCandidateFileName, candidatesJSON(5));
    writeTestFile(outside / "video.mp4", "not the session's video");
    writeTestFile(outside / "audio.m4a", "not the session's audio");
    fs::create_directory_symlink(outside, folder / "linked-folder");
    for (const auto* name : {kTranscriptFileName, kCandidateFileName, "video.mp4", "audio.m4a"})
        fs::create_symlink(outside / name, folder / (std::string("link-") + name));
    const auto hostileNames = [&](const std::string& name) {
        return std::vector<std::string>{(outside / name).string(), "../outside/" + name, "a/../../outside/" + name,
                                        "./../outside/" + name, "link-" + name, "linked-folder/" + name};
    };
    const std::string refused = "which is not a file in the session folder.";
    const auto library = [&] {
        RecordingTrash trash;
        return *LocalSessionLibrary(trash, sessions, home.path() / "Exports").session(manifest.id.toString());
    };
    const struct Reader {
        const char* name;
        const char* file;
        std::function<void(LocalSessionManifest&, const std::string&)> name_it;
        std::function<std::string()> read;
        std::string expected;
    } readers[] = {
        {"library: candidates", kCandidateFileName, [](auto& m, const auto& n) { m.candidateFile = n; },
         [&] { return std::to_string(library().candidateCount.value_or(-1)); }, "-1"},
        {"library: transcript", kTranscriptFileName, [](auto& m, const auto& n) { m.transcriptFile = n; },
         [&] { return std::to_string(library().transcriptSegmentCount.value_or(-1)); }, "-1"},
        {"extract: transcript", kTranscriptFileName, [](auto& m, const auto& n) { m.transcriptFile = n; },
         [&] { return failureOf([&] { stages.extractEvidence(folder, {}); }); },
         "Transcribe this session before generating visual evidence."},
        {"extract: video", "video.mp4", [](auto& m, const auto& n) { m.videoFile = n; },
         [&] { return failureOf([&] { stages.extractEvidence(folder, {}); }); }, refused},
        {"export: candidates", kCandidateFileName, [](auto& m, const auto& n) { m.candidateFile = n; },
         [&] { return failureOf([&] { stages.exportEvidence(folder, {}); }); }, "The required session artifact is missing: "},
        {"export: transcript", kTranscriptFileName, [](auto& m, const auto& n) { m.transcriptFile = n; },
         [&] { return failureOf([&] { stages.exportEvidence(folder, {}); }); }, "The required session artifact is missing: "},
        {"transcription track", "audio.m4a", [](auto& m, const auto& n) { m.systemAudioFile = n; },
         [&] { return failureOf([&] { stages.transcribe(folder, {}, {}); }); }, refused},
    };
    for (const auto& reader : readers) {
        for (const auto& name : hostileNames(reader.file)) {
            updateManifest(folder, [&](auto& m) {
                m = manifest;
                reader.name_it(m, name);
            });
            EXPECT_NE(reader.read().find(reader.expected), std::string::npos) << reader.name << " read " << name;
            EXPECT_FALSE(fs::exists(home.path() / "data" / "Quillmer" / "Exports" / manifest.id.toString()));
        }
    }
}

// An interrupted or earlier extraction left frames behind; the next one keeps only its own.
TEST_F(SessionFilesTest, ExtractionLeavesOnlyTheFramesItRecorded) {
    ASSERT_TRUE(makeIndexedVideo(folder / kScreenVideoFileName, {.frameCount = 90}));
    updateManifest(folder, [](auto& m) { m.lastVideoPTSSeconds = 3; });
    writeTestFile(folder / kFramesFolderName / "left-by-a-killed-run-0.png", "partial");
    ASSERT_EQ(stages.extractEvidence(folder, {}), 1);

    std::set<std::string> recorded, present;
    const Json bundle = parseJSON(readWholeFile(folder / kCandidateFileName));
    for (const auto& candidate : bundle["candidates"])
        for (const auto& frame : candidate["frameFiles"]) recorded.insert(frame.get<std::string>());
    for (const auto& entry : fs::directory_iterator(folder / kFramesFolderName))
        present.insert(std::string(kFramesFolderName) + "/" + entry.path().filename().string());
    EXPECT_FALSE(recorded.empty());
    EXPECT_EQ(present, recorded);
}

}  // namespace
}  // namespace quillmer::testing
