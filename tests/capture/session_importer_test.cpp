#include "capture/session_importer.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include "capture/session_folder.h"
#include "core/atomic_file.h"
#include "core/sha256.h"
#include "platform/linux/ffmpeg_recording_asset.h"
#include "support/generated_video.h"
#include "support/media_probe.h"
#include "support/temporary_folder.h"
#include "support/thrown.h"

namespace quillmer {
namespace {

namespace fs = std::filesystem;
using testing::probeEntries;

// Small recordings made once for the suite with FFmpeg's own test sources.
class SessionImporterTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        media_ = std::make_unique<testing::TemporaryFolder>();
        const std::vector<std::string> picture = {"-f", "lavfi", "-i", "testsrc=size=320x240:rate=10:duration=2"};
        const std::vector<std::string> tone = {"-f", "lavfi", "-i", "sine=frequency=440:duration=2"};
        const auto make = [](std::vector<std::vector<std::string>> parts, const std::string& name) {
            std::vector<std::string> arguments;
            for (const auto& part : parts) arguments.insert(arguments.end(), part.begin(), part.end());
            arguments.push_back(media(name).string());
            testing::runFFmpeg(arguments);
        };
        const std::vector<std::string> h264 = {"-c:v", "libx264", "-pix_fmt", "yuv420p"};
        make({picture, tone, h264, {"-c:a", "aac", "-shortest"}}, "meeting.mp4");
        make({picture, h264}, "silent.mp4");
        make({tone, {"-c:a", "aac"}}, "voice.m4v");
        make({picture, tone, {"-c:v", "mpeg4", "-c:a", "pcm_s16le", "-shortest"}}, "old-codec.MOV");
        // Stored landscape, shown portrait: the rotation is display metadata, kept by a stream copy.
        make({{"-i", media("silent.mp4").string(), "-c", "copy", "-metadata:s:v:0", "rotate=90"}}, "portrait.mov");
        make({picture, h264, {"-movflags", "+faststart"}}, "whole.mp4");
    }
    static void TearDownTestSuite() { media_.reset(); }

    static fs::path media(const std::string& name) { return media_->path() / name; }

    static size_t sessionCount() { return static_cast<size_t>(std::distance(fs::directory_iterator(sessionsRoot()), {})); }

    template <typename Body>
    void expectImportError(Body body, SessionImportErrorCase expected, const std::string& text) {
        const auto error = testing::thrown<SessionImportError>(body).value();
        EXPECT_EQ(std::pair(error.kind(), std::string(error.what())), std::pair(expected, text));
    }

    static inline std::unique_ptr<testing::TemporaryFolder> media_;
    testing::ScopedDataHome home_;
    FfmpegRecordingAssetLoader loader_;
    SessionImporter importer_{loader_};
};

TEST_F(SessionImporterTest, RecordingWithSoundBecomesACompleteSession) {
    std::vector<double> progress;
    const auto imported = importer_.importRecording(media("meeting.mp4"), {}, [&](double f) { progress.push_back(f); });
    const auto& manifest = imported.manifest;
    EXPECT_EQ(imported.directory, sessionsRoot() / manifest.id.toString());
    EXPECT_EQ(readManifest(imported.directory), manifest);
    LocalSessionManifest expected;
    expected.id = manifest.id, expected.createdAt = manifest.createdAt, expected.endedAt = manifest.createdAt;
    expected.width = 320, expected.height = 240, expected.videoFile = "screen.mp4";
    expected.firstVideoPTSSeconds = 0.0, expected.lastVideoPTSSeconds = manifest.lastVideoPTSSeconds;
    expected.systemAudioFile = "system-audio.m4a", expected.systemAudioFirstPTSSeconds = 0.0;
    expected.sourceMediaFingerprint = sha256HexOfFile(media("meeting.mp4"));
    EXPECT_EQ(manifest, expected);
    ASSERT_TRUE(manifest.lastVideoPTSSeconds);
    EXPECT_NEAR(*manifest.lastVideoPTSSeconds, 2.0, 0.1);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_EQ(progress.back(), 1.0);

    // H.264 is kept packet for packet; the sound is AAC in both files.
    const auto screen = imported.directory / "screen.mp4";
    EXPECT_EQ(probeEntries(screen, "v", "packet=pts,size"), probeEntries(media("meeting.mp4"), "v", "packet=pts,size"));
    EXPECT_EQ(probeEntries(screen, "a", "stream=codec_name"), "aac");
    EXPECT_EQ(probeEntries(imported.directory / "system-audio.m4a", "a", "stream=codec_name"), "aac");
    EXPECT_EQ(probeEntries(imported.directory / "system-audio.m4a", "v", "stream=codec_name"), "");
}

TEST_F(SessionImporterTest, SizesCodecsAndSound) {
    struct Case {
        const char* file;
        int width, height;  // upright, as the manifest keeps them; the pictures stay stored 320 x 240
        bool sound;
    };
    for (const Case& c : {Case{"silent.mp4", 320, 240, false}, Case{"old-codec.MOV", 320, 240, true},
                          Case{"portrait.mov", 240, 320, false}}) {
        SCOPED_TRACE(c.file);
        const auto imported = importer_.importRecording(media(c.file));
        const auto screen = imported.directory / "screen.mp4";
        EXPECT_EQ(imported.manifest.width, c.width);
        EXPECT_EQ(imported.manifest.height, c.height);
        EXPECT_EQ(probeEntries(screen, "v", "stream=codec_name,width,height"), "h264\n320\n240");  // the mpeg4 codec is re-encoded
        EXPECT_EQ(imported.manifest.systemAudioFile.has_value() && imported.manifest.systemAudioFirstPTSSeconds.has_value(), c.sound);
        EXPECT_EQ(probeEntries(imported.directory / "system-audio.m4a", "a", "stream=codec_name"), c.sound ? "aac" : "");
        EXPECT_EQ(probeEntries(screen, "v", "stream_side_data=rotation") != "", c.width == 240);  // shown upright
    }
}

// A file cut short (a crash, or a copy still being written) whose header still claims its full
// length: the session ends where its pictures really end.
TEST_F(SessionImporterTest, ARecordingThatEndsEarlyEndsWhereItsPicturesEnd) {
    const std::string whole = readWholeFile(media("whole.mp4"));
    testing::writeTestFile(media("cut.mp4"), whole.substr(0, whole.size() / 2));
    const auto imported = importer_.importRecording(media("cut.mp4"));
    ASSERT_TRUE(imported.manifest.lastVideoPTSSeconds);
    EXPECT_GT(*imported.manifest.lastVideoPTSSeconds, 0.0);
    EXPECT_LT(*imported.manifest.lastVideoPTSSeconds, 1.5);
    EXPECT_NEAR(*importer_.importRecording(media("whole.mp4")).manifest.lastVideoPTSSeconds, 2.0, 0.1);
}

TEST_F(SessionImporterTest, RefusalsAndCancellingLeaveNoFolderAndNeverWait) {
    // The extension is judged before anything is read: this file does not even exist.
    for (const std::string name : {"notes.mkv", "recording"})
        expectImportError([&] { importer_.importRecording(media(name)); }, SessionImportErrorCase::unsupportedFile,
                          "Quillmer supports local MP4, MOV, and M4V recordings. " + name + " is not a supported recording.");
    expectImportError([&] { importer_.importRecording(media("voice.m4v")); }, SessionImportErrorCase::noVideoTrack,
                      "This file does not contain a video track.");
    testing::writeTestFile(media("text.mp4"), "this is not a recording");
    EXPECT_THROW(importer_.importRecording(media("text.mp4")), RecordingMediaError);
    // Nothing but a regular file is read: a pipe would block in open(), a device never ends.
    ASSERT_EQ(::mkfifo(media("pipe.mp4").c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", media("zeros.mov"));
    fs::create_directory(media("folder.m4v"));
    for (const char* name : {"missing.mp4", "pipe.mp4", "zeros.mov", "folder.m4v"})
        EXPECT_THROW(importer_.importRecording(media(name)), FileSystemError) << name;
    std::stop_source stop;
    EXPECT_THROW(importer_.importRecording(media("old-codec.MOV"), stop.get_token(), [&](double) { stop.request_stop(); }),
                 CancellationError);
    EXPECT_THROW(importer_.importRecording(media("meeting.mp4"), stop.get_token()), CancellationError);  // already stopped
    EXPECT_EQ(sessionCount(), 0u);
}

// The media left aside: the export cannot be made, fails half-way, or succeeds with placeholders.
enum class ExportOutcome { unavailable, failsHalfWay, succeeds };

struct FakeAsset final : RecordingAsset {
    ExportOutcome outcome;
    explicit FakeAsset(ExportOutcome o) : outcome(o) {}
    bool hasVideoTrack() const override { return true; }
    bool hasAudioTrack() const override { return true; }
    double presentationWidth() const override { return 640; }
    double presentationHeight() const override { return 480; }
    double durationSeconds() const override { return 1; }
    std::unique_ptr<RecordingExport> makeExport(const RecordingExportRequest& request) const override {
        struct Export final : RecordingExport {
            RecordingExportRequest request;
            bool fails;
            Export(RecordingExportRequest r, bool f) : request(std::move(r)), fails(f) {}
            void run(std::stop_token, const ExportProgressHandler&) override {
                testing::writeTestFile(request.movieFile, "half a movie");
                if (fails) throw RecordingMediaError("disk full");
            }
        };
        if (outcome == ExportOutcome::unavailable) return nullptr;
        return std::make_unique<Export>(request, outcome == ExportOutcome::failsHalfWay);
    }
};

struct FakeLoader final : RecordingAssetLoader {
    ExportOutcome outcome = ExportOutcome::unavailable;
    std::unique_ptr<RecordingAsset> load(const fs::path&) override { return std::make_unique<FakeAsset>(outcome); }
};

TEST_F(SessionImporterTest, FailuresAfterTheFolderExistsRemoveIt) {
    FakeLoader loader;
    const SessionImporter importer(loader);
    expectImportError([&] { importer.importRecording(media("meeting.mp4")); }, SessionImportErrorCase::cannotCreateExporter,
                      "Quillmer could not create a local media exporter for this recording.");
    loader.outcome = ExportOutcome::failsHalfWay;
    EXPECT_THROW(importer.importRecording(media("meeting.mp4")), RecordingMediaError);
    // A source that cannot be read (a folder) outranks the export's own outcome, good or bad.
    fs::create_directory(media("unreadable.mp4"));
    EXPECT_THROW(importer.importRecording(media("unreadable.mp4")), FileSystemError);
    loader.outcome = ExportOutcome::succeeds;
    EXPECT_THROW(importer.importRecording(media("unreadable.mp4")), FileSystemError);
    EXPECT_EQ(sessionCount(), 0u);

    const auto imported = importer.importRecording(media("meeting.mp4"));
    EXPECT_EQ(imported.manifest.sourceMediaFingerprint, sha256HexOfFile(media("meeting.mp4")));
    EXPECT_EQ(imported.manifest.lastVideoPTSSeconds, 1.0);  // an export that cannot tell keeps the duration
}

}  // namespace
}  // namespace quillmer
