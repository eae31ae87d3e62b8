#include "capture/session_importer.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <regex>
#include <thread>

#include "capture/local_session_library.h"
#include "capture/session_folder.h"
#include "core/sha256.h"
#include "platform/linux/ffmpeg_recording_asset.h"
#include "platform/linux/posix_process_runner.h"
#include "support/temporary_folder.h"

namespace quillmer {
namespace {

using testing::TemporaryFolder;

std::string run(const std::string& program, std::vector<std::string> arguments) {
    PosixProcessRunner runner;
    const auto result = runner.run({program, std::move(arguments), std::nullopt, ""});
    if (!result.succeeded()) throw std::runtime_error(program + " failed: " + result.standardError);
    return result.standardOutput;
}

std::string ffprobe(const std::filesystem::path& file, const std::string& streams, const std::string& entries) {
    auto text = run("/usr/bin/ffprobe", {"-v", "error", "-select_streams", streams, "-show_entries", entries, "-of",
                                         "default=noprint_wrappers=1:nokey=1", file.string()});
    while (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

// The packets of a file's first video stream, hashed: equal only when the pictures were not re-encoded.
std::string videoPacketHash(const std::filesystem::path& file) {
    return run("/usr/bin/ffmpeg", {"-v", "error", "-i", file.string(), "-map", "0:v:0", "-c", "copy", "-f", "hash",
                                   "-hash", "sha256", "-"});
}

// Small generated recordings, made once for the suite with FFmpeg's own test sources.
class SessionImporterTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        media_ = std::make_unique<TemporaryFolder>();
        const std::vector<std::string> picture = {"-f", "lavfi", "-i", "testsrc=size=320x240:rate=10:duration=2"};
        const std::vector<std::string> tone = {"-f", "lavfi", "-i", "sine=frequency=440:duration=2"};
        auto make = [](std::vector<std::string> inputs, std::vector<std::string> rest, const std::string& name) {
            std::vector<std::string> arguments = {"-v", "error", "-y"};
            arguments.insert(arguments.end(), inputs.begin(), inputs.end());
            arguments.insert(arguments.end(), rest.begin(), rest.end());
            arguments.push_back((media_->path() / name).string());
            run("/usr/bin/ffmpeg", arguments);
        };
        auto both = picture;
        both.insert(both.end(), tone.begin(), tone.end());
        make(both, {"-c:v", "libx264", "-pix_fmt", "yuv420p", "-c:a", "aac", "-shortest"}, "meeting.mp4");
        make(picture, {"-c:v", "libx264", "-pix_fmt", "yuv420p"}, "silent.mp4");
        make(tone, {"-c:a", "aac"}, "voice.m4v");
        make(both, {"-c:v", "mpeg4", "-c:a", "pcm_s16le", "-shortest"}, "old-codec.MOV");
        // Stored landscape, shown portrait: the rotation is display metadata, kept by a stream copy.
        make({"-i", (media_->path() / "silent.mp4").string()}, {"-c", "copy", "-metadata:s:v:0", "rotate=90"}, "portrait.mov");
    }
    static void TearDownTestSuite() { media_.reset(); }

    static std::filesystem::path media(const std::string& name) { return media_->path() / name; }

    std::vector<std::filesystem::path> sessionFolders() const {
        std::vector<std::filesystem::path> folders;
        for (const auto& entry : std::filesystem::directory_iterator(sessionsRoot())) folders.push_back(entry.path());
        return folders;
    }

    template <typename Body>
    void expectImportError(Body body, SessionImportErrorCase expected, const std::string& text) {
        try {
            body();
            ADD_FAILURE() << "no error";
        } catch (const SessionImportError& error) {
            EXPECT_EQ(error.kind(), expected);
            EXPECT_EQ(std::string(error.what()), text);
        }
    }

    static inline std::unique_ptr<TemporaryFolder> media_;
    testing::ScopedDataHome home_;
    FfmpegRecordingAssetLoader loader_;
    SessionImporter importer_{loader_};
};

TEST_F(SessionImporterTest, RecordingWithSoundBecomesACompleteSession) {
    const auto imported = importer_.importRecording(media("meeting.mp4"));
    const auto& manifest = imported.manifest;
    EXPECT_EQ(imported.directory, sessionsRoot() / manifest.id.toString());
    EXPECT_EQ(readManifest(imported.directory), manifest);
    EXPECT_EQ(manifest.displayID, 0u);
    EXPECT_EQ(manifest.width, 320);
    EXPECT_EQ(manifest.height, 240);
    EXPECT_EQ(manifest.firstVideoPTSSeconds, 0.0);
    ASSERT_TRUE(manifest.lastVideoPTSSeconds);
    EXPECT_NEAR(*manifest.lastVideoPTSSeconds, 2.0, 0.1);
    EXPECT_EQ(manifest.videoFrameCount, 0);
    EXPECT_EQ(manifest.systemAudioFile, "system-audio.m4a");
    EXPECT_EQ(manifest.systemAudioFirstPTSSeconds, 0.0);
    EXPECT_FALSE(manifest.microphoneAudioFile || manifest.microphoneAudioFirstPTSSeconds || manifest.transcriptFile ||
                 manifest.candidateFile || manifest.repository);
    EXPECT_EQ(manifest.endedAt, manifest.createdAt);
    EXPECT_EQ(manifest.videoFile, "screen.mp4");
    EXPECT_EQ(manifest.schemaVersion, 1);
    EXPECT_EQ(manifest.sourceMediaFingerprint, sha256HexOfFile(media("meeting.mp4")));

    // H.264 is kept packet for packet; the sound is AAC in both files.
    const auto screen = imported.directory / "screen.mp4";
    EXPECT_EQ(videoPacketHash(screen), videoPacketHash(media("meeting.mp4")));
    EXPECT_EQ(ffprobe(screen, "a", "stream=codec_name"), "aac");
    EXPECT_EQ(ffprobe(imported.directory / "system-audio.m4a", "a", "stream=codec_name"), "aac");
    EXPECT_EQ(ffprobe(imported.directory / "system-audio.m4a", "v", "stream=codec_name"), "");
    EXPECT_EQ(ffprobe(screen, "v", "stream=start_time"), "0.000000");
}

TEST_F(SessionImporterTest, SilentRecordingHasNoSystemAudio) {
    const auto imported = importer_.importRecording(media("silent.mp4"));
    EXPECT_FALSE(imported.manifest.systemAudioFile);
    EXPECT_FALSE(imported.manifest.systemAudioFirstPTSSeconds);
    EXPECT_FALSE(std::filesystem::exists(imported.directory / "system-audio.m4a"));
    EXPECT_TRUE(std::filesystem::exists(imported.directory / "screen.mp4"));
    EXPECT_EQ(encodeJSON(imported.manifest.toJSON()).find("systemAudio"), std::string::npos);
}

TEST_F(SessionImporterTest, OtherVideoCodecsAreEncodedAsH264) {
    const auto imported = importer_.importRecording(media("old-codec.MOV"));  // upper-case extension accepted
    const auto screen = imported.directory / "screen.mp4";
    EXPECT_EQ(ffprobe(screen, "v", "stream=codec_name"), "h264");
    EXPECT_EQ(ffprobe(screen, "v", "stream=width,height"), "320\n240");
    EXPECT_EQ(ffprobe(screen, "a", "stream=codec_name"), "aac");
    EXPECT_EQ(ffprobe(imported.directory / "system-audio.m4a", "a", "stream=codec_name"), "aac");
    EXPECT_NEAR(std::stod(ffprobe(imported.directory / "system-audio.m4a", "a", "format=duration")), 2.0, 0.1);
    EXPECT_GE(std::stoi(ffprobe(screen, "v", "stream=nb_frames")), 19);
}

TEST_F(SessionImporterTest, RotatedRecordingReportsItsUprightSize) {
    const auto imported = importer_.importRecording(media("portrait.mov"));
    EXPECT_EQ(imported.manifest.width, 240);
    EXPECT_EQ(imported.manifest.height, 320);
    // The pictures stay as stored, with the rotation that shows them upright.
    EXPECT_EQ(ffprobe(imported.directory / "screen.mp4", "v", "stream=width,height"), "320\n240");
    EXPECT_NE(ffprobe(imported.directory / "screen.mp4", "v", "stream_side_data=rotation"), "");
}

TEST_F(SessionImporterTest, RefusalsLeaveNoFolder) {
    // The extension is judged before anything is read: this file does not even exist.
    expectImportError([&] { importer_.importRecording(media("notes.mkv")); }, SessionImportErrorCase::unsupportedFile,
                      "Quillmer supports local MP4, MOV, and M4V recordings. notes.mkv is not a supported recording.");
    expectImportError([&] { importer_.importRecording(media("recording")); }, SessionImportErrorCase::unsupportedFile,
                      "Quillmer supports local MP4, MOV, and M4V recordings. recording is not a supported recording.");
    expectImportError([&] { importer_.importRecording(media("voice.m4v")); }, SessionImportErrorCase::noVideoTrack,
                      "This file does not contain a video track.");
    const auto text = media("text.mp4");
    testing::writeTestFile(text, "this is not a recording");
    EXPECT_THROW(importer_.importRecording(text), RecordingMediaError);
    EXPECT_THROW(importer_.importRecording(media("missing.mp4")), FileSystemError);
    EXPECT_TRUE(sessionFolders().empty());
}

TEST_F(SessionImporterTest, SameFileTwiceIsTwoFoldersButOneMeeting) {
    const auto first = importer_.importRecording(media("meeting.mp4"));
    const auto second = importer_.importRecording(media("meeting.mp4"));
    EXPECT_NE(first.directory, second.directory);
    ASSERT_TRUE(first.manifest.sourceMediaFingerprint);
    EXPECT_TRUE(std::regex_match(*first.manifest.sourceMediaFingerprint, std::regex("[0-9a-f]{64}")));
    EXPECT_EQ(first.manifest.sourceMediaFingerprint, second.manifest.sourceMediaFingerprint);
    EXPECT_EQ(sessionFolders().size(), 2u);

    class UnusedTrash final : public Trash {
        void moveToTrash(const std::filesystem::path&) override { FAIL(); }
    } trash;
    const LocalSessionLibrary library(trash);
    const auto recent = library.recentSessions(5);
    ASSERT_EQ(recent.size(), 1u);
    EXPECT_EQ(recent[0].detail, "Ready to understand");
}

TEST_F(SessionImporterTest, CancellingDuringTheExportRemovesTheFolder) {
    std::stop_source stop;
    int calls = 0;
    EXPECT_THROW(importer_.importRecording(media("old-codec.MOV"), stop.get_token(),
                                           [&](double) {
                                               ++calls;
                                               stop.request_stop();
                                           }),
                 CancellationError);
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(sessionFolders().empty());

    std::stop_source already;
    already.request_stop();
    EXPECT_THROW(importer_.importRecording(media("meeting.mp4"), already.get_token()), CancellationError);
    EXPECT_TRUE(sessionFolders().empty());
}

TEST_F(SessionImporterTest, ProgressRisesToOne) {
    std::vector<double> seen;
    importer_.importRecording(media("meeting.mp4"), {}, [&](double fraction) { seen.push_back(fraction); });
    ASSERT_FALSE(seen.empty());
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_EQ(seen.back(), 1.0);
}

// A recording with the real media left aside: its export cannot be made, fails half-way, or
// succeeds (writing placeholder files) unless cancelled.
enum class ExportOutcome { unavailable, failsHalfWay, succeeds };

class FakeAsset final : public RecordingAsset {
public:
    explicit FakeAsset(ExportOutcome outcome) : outcome_(outcome) {}
    bool hasVideoTrack() const override { return true; }
    bool hasAudioTrack() const override { return true; }
    double presentationWidth() const override { return 640; }
    double presentationHeight() const override { return 480; }
    double durationSeconds() const override { return 1; }
    std::unique_ptr<RecordingExport> makeExport(const RecordingExportRequest& request) const override {
        if (outcome_ == ExportOutcome::unavailable) return nullptr;
        struct Export final : RecordingExport {
            RecordingExportRequest request;
            bool fails = false;
            void run(std::stop_token stop, const ExportProgressHandler& progress) override {
                testing::writeTestFile(request.movieFile, "half a movie");
                if (progress) progress(0.5);
                if (stop.stop_requested()) throw CancellationError();
                if (fails) throw RecordingMediaError("disk full");
                if (request.audioFile) testing::writeTestFile(*request.audioFile, "sound");
            }
        };
        auto exporter = std::make_unique<Export>();
        exporter->request = request;
        exporter->fails = outcome_ == ExportOutcome::failsHalfWay;
        return exporter;
    }

private:
    ExportOutcome outcome_;
};

class FakeLoader final : public RecordingAssetLoader {
public:
    ExportOutcome outcome = ExportOutcome::unavailable;
    int loads = 0;
    std::unique_ptr<RecordingAsset> load(const std::filesystem::path&) override {
        ++loads;
        return std::make_unique<FakeAsset>(outcome);
    }
};

TEST_F(SessionImporterTest, FailuresAfterTheFolderExistsRemoveIt) {
    FakeLoader loader;
    const SessionImporter importer(loader);
    expectImportError([&] { importer.importRecording(media("meeting.mp4")); }, SessionImportErrorCase::cannotCreateExporter,
                      "Quillmer could not create a local media exporter for this recording.");
    EXPECT_TRUE(sessionFolders().empty());
    loader.outcome = ExportOutcome::failsHalfWay;
    EXPECT_THROW(importer.importRecording(media("meeting.mp4")), RecordingMediaError);
    EXPECT_TRUE(sessionFolders().empty());

    // The media exports fine but the source cannot be read to the end (a folder opens, but reading it
    // fails): the import fails with the read error and takes the finished folder with it.
    loader.outcome = ExportOutcome::succeeds;
    const auto unreadable = media("unreadable.mp4");
    std::filesystem::create_directory(unreadable);
    EXPECT_THROW(importer.importRecording(unreadable), FileSystemError);
    EXPECT_TRUE(sessionFolders().empty());
    EXPECT_EQ(loader.loads, 3);

    // The same read failure outranks a failing export, as it would if the hash had run first.
    loader.outcome = ExportOutcome::failsHalfWay;
    EXPECT_THROW(importer.importRecording(unreadable), FileSystemError);
    EXPECT_TRUE(sessionFolders().empty());

    // And with everything readable the fake export makes a session whose fingerprint is the file's.
    loader.outcome = ExportOutcome::succeeds;
    const auto imported = importer.importRecording(media("meeting.mp4"));
    EXPECT_EQ(imported.manifest.sourceMediaFingerprint, sha256HexOfFile(media("meeting.mp4")));
    EXPECT_EQ(readManifest(imported.directory), imported.manifest);
}

// The hash reads an endless pipe, so only the cancellation can end it.
TEST_F(SessionImporterTest, CancellingStopsTheFingerprintToo) {
    const auto endless = media("endless.mp4");
    ASSERT_EQ(::mkfifo(endless.c_str(), 0600), 0);
    constexpr size_t kLimit = size_t{4} << 30;
    size_t written = 0;
    std::thread writer([&] {
        sigset_t pipeSignal;
        sigemptyset(&pipeSignal);
        sigaddset(&pipeSignal, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipeSignal, nullptr);  // a closed reader shows as EPIPE instead
        const int fd = ::open(endless.c_str(), O_WRONLY | O_CLOEXEC);
        const std::string piece(1 << 20, 'x');
        while (fd >= 0 && written < kLimit) {
            const ssize_t count = ::write(fd, piece.data(), piece.size());
            if (count <= 0) break;
            written += static_cast<size_t>(count);
        }
        if (fd >= 0) ::close(fd);
    });

    FakeLoader loader;
    loader.outcome = ExportOutcome::succeeds;
    const SessionImporter importer(loader);
    std::stop_source stop;
    EXPECT_THROW(importer.importRecording(endless, stop.get_token(), [&](double) { stop.request_stop(); }),
                 CancellationError);
    writer.join();
    EXPECT_LT(written, kLimit);
    EXPECT_TRUE(sessionFolders().empty());
}

}  // namespace
}  // namespace quillmer
