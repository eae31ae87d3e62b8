#include "transcription/session_transcriber.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>

#include "capture/session_folder.h"
#include "core/atomic_file.h"
#include "support/temporary_folder.h"
#include "transcription/transcription_error.h"

namespace quillmer {
namespace {

namespace fs = std::filesystem;
using testing::ScopedEnvironment;
using testing::TemporaryFolder;

struct ExportedChunk {
    std::string track;
    double start;
    double duration;
    std::string fileName;
    bool operator==(const ExportedChunk&) const = default;
};

// Tracks of given durations; each exported chunk is a small file naming its track and start.
class FakeAudio final : public AudioTrackReaderFactory {
public:
    std::map<std::string, double> durations;
    std::vector<ExportedChunk> exported;
    bool failExports = false;

    std::unique_ptr<AudioTrackReader> open(const fs::path& file) override {
        const auto name = file.filename().string();
        if (!durations.contains(name)) throw Error("no such track " + name);
        return std::make_unique<Reader>(*this, name);
    }

private:
    struct Reader final : AudioTrackReader {
        Reader(FakeAudio& owner, std::string name) : owner(owner), name(std::move(name)) {}
        double durationSeconds() const override { return owner.durations.at(name); }
        void exportChunk(double start, double duration, const fs::path& destination) override {
            if (owner.failExports) throw Error("decoder broke");
            owner.exported.push_back({name, start, duration, destination.filename().string()});
            writeFileAtomically(destination, name + "@" + std::to_string(start));
        }
        FakeAudio& owner;
        std::string name;
    };
};

// Answers each recognition with the pieces queued for the chunk's content ("track@start").
class FakeSpeech final : public SpeechRecognizerProvider {
public:
    SpeechModelStatus status = SpeechModelStatus::installed;
    bool loads = true;
    std::map<std::string, std::vector<RecognizedPiece>> piecesByChunk;
    std::vector<fs::path> recognizedFiles;
    std::function<void(int call)> onRecognize;  // called before answering, with the 1-based call number

    SpeechModelStatus modelStatus(std::string_view) const override { return status; }
    std::unique_ptr<SpeechRecognizer> makeRecognizer(std::string_view) override {
        return loads ? std::make_unique<Recognizer>(*this) : nullptr;
    }

private:
    struct Recognizer final : SpeechRecognizer {
        explicit Recognizer(FakeSpeech& owner) : owner(owner) {}
        std::vector<RecognizedPiece> recognize(const fs::path& file, std::stop_token stop) override {
            owner.recognizedFiles.push_back(file);
            if (owner.onRecognize) owner.onRecognize(static_cast<int>(owner.recognizedFiles.size()));
            if (stop.stop_requested()) throw CancellationError();
            const auto found = owner.piecesByChunk.find(readWholeFile(file));
            return found == owner.piecesByChunk.end() ? std::vector<RecognizedPiece>{} : found->second;
        }
        FakeSpeech& owner;
    };
};

class FakePlan final : public RemoteTranscriptionPlan {
public:
    std::function<std::vector<LocalTranscriptSegment>(const TranscriptionTrack&)> answer;
    std::vector<std::string> idempotencyPrefixes;
    std::string provider() const override { return "quillmer-hosted-scribe-v2"; }
    std::vector<LocalTranscriptSegment> transcribeTrack(const fs::path&, const std::string& prefix,
                                                        const TranscriptionTrack& track, std::stop_token) override {
        idempotencyPrefixes.push_back(prefix);
        return answer(track);
    }
};

class FakeRoute final : public TranscriptionRouteDecider {
public:
    std::function<std::vector<LocalTranscriptSegment>(const TranscriptionTrack&)> answer;
    std::unique_ptr<RemoteTranscriptionPlan> remotePlan() override {
        if (!answer) return nullptr;
        auto plan = std::make_unique<FakePlan>();
        plan->answer = answer;
        return plan;
    }
};

class SessionTranscription : public ::testing::Test {
protected:
    SessionTranscription() : temporaryDirectory_("TMPDIR", workRoot_.path().string()) {
        manifest_.id = Uuid::random();
        manifest_.createdAt = std::chrono::system_clock::now();
        manifest_.videoFile = kScreenVideoFileName;
        manifest_.systemAudioFile = kSystemAudioFileName;
        audio_.durations[kSystemAudioFileName] = 120;
    }

    void addMicrophone(double duration, std::optional<double> firstPTS) {
        manifest_.microphoneAudioFile = kMicrophoneAudioFileName;
        manifest_.microphoneAudioFirstPTSSeconds = firstPTS;
        audio_.durations[kMicrophoneAudioFileName] = duration;
    }

    LocalTranscript run(std::stop_token stop = {}, const std::string& locale = "en-US") {
        writeManifest(session_.path(), manifest_);
        const SessionTranscriber transcriber(route_, audio_, speech_);
        return transcriber.transcribe(session_.path(), locale, [&](const TranscriptionProgress& p) { progress_.push_back(p); }, stop);
    }

    TranscriptionErrorCase failureOf(const std::string& locale = "en-US") {
        try {
            run({}, locale);
        } catch (const TranscriptionError& error) {
            lastMessage_ = error.what();
            return error.kind();
        }
        ADD_FAILURE() << "transcribed without error";
        return {};
    }

    // Chunk working directories are made under $TMPDIR, which each test points at its own folder.
    bool workingDirectoriesLeft() const { return !fs::is_empty(workRoot_.path()); }
    bool transcriptStored() const {
        return fs::exists(session_ / kTranscriptFileName) || readManifest(session_.path()).transcriptFile.has_value();
    }

    TemporaryFolder session_;  // made before $TMPDIR moves
    TemporaryFolder workRoot_;
    ScopedEnvironment temporaryDirectory_;
    LocalSessionManifest manifest_;
    FakeRoute route_;
    FakeAudio audio_;
    FakeSpeech speech_;
    std::vector<TranscriptionProgress> progress_;
    std::string lastMessage_;
};

TEST(ChunkStarts, EveryFiftyFiveSecondsStrictlyBelowTheDuration) {
    EXPECT_EQ(SessionTranscriber::chunkStarts(120), (std::vector<double>{0, 55, 110}));
    EXPECT_EQ(SessionTranscriber::chunkStarts(110), (std::vector<double>{0, 55}));
    EXPECT_EQ(SessionTranscriber::chunkStarts(0.01), (std::vector<double>{0}));
    for (double none : {0.0, -3.0, std::nan(""), std::numeric_limits<double>::infinity()}) EXPECT_TRUE(SessionTranscriber::chunkStarts(none).empty());
}

TEST_F(SessionTranscription, ChunksProgressAndTheSourceClock) {
    manifest_.systemAudioFirstPTSSeconds = 1000.0;
    speech_.piecesByChunk["system-audio.m4a@55.000000"] = {{3.2, 0.4, "header", 0.75f}};
    const auto transcript = run();

    EXPECT_EQ(audio_.exported, (std::vector<ExportedChunk>{{"system-audio.m4a", 0, 55, "0.wav"},
                                                           {"system-audio.m4a", 55, 55, "55.wav"},
                                                           {"system-audio.m4a", 110, 10, "110.wav"}}));
    EXPECT_EQ(progress_, (std::vector<TranscriptionProgress>{{0, 3}, {1, 3}, {2, 3}, {3, 3}}));
    ASSERT_EQ(transcript.segments.size(), 1u);
    const auto& segment = transcript.segments[0];
    EXPECT_DOUBLE_EQ(segment.startSeconds, 1058.2);
    EXPECT_DOUBLE_EQ(segment.durationSeconds, 0.4);
    EXPECT_EQ(segment.text, "header");
    EXPECT_EQ(segment.confidence, 0.75);
    EXPECT_EQ(segment.speaker, (TranscriptSpeaker{"remote", "Call audio", "remote"}));
    EXPECT_EQ(segment.sourceTrack, "system-audio");

    EXPECT_EQ(transcript.schemaVersion, 2);
    EXPECT_EQ(transcript.provider, "pocketsphinx");
    EXPECT_EQ(transcript.localeIdentifier, "en-US");
    EXPECT_EQ(transcript.audioFile, "system-audio.m4a");
    EXPECT_EQ(transcript.sourcePTSOffsetSeconds, 0);
    EXPECT_EQ(encodeJSON(readTranscript(session_ / kTranscriptFileName).toJSON()), encodeJSON(transcript.toJSON()));
    EXPECT_EQ(readManifest(session_.path()).transcriptFile, "transcript.json");
    EXPECT_FALSE(workingDirectoriesLeft());
    EXPECT_FALSE(fs::exists(session_ / kTranscriptionDiagnosticsFileName));
}

TEST_F(SessionTranscription, TwoTracksInterleaveByTimeWithTheirOwnSpeakers) {
    audio_.durations[kSystemAudioFileName] = 60;
    manifest_.systemAudioFirstPTSSeconds = 10.0;
    addMicrophone(60, 10.5);
    speech_.piecesByChunk["system-audio.m4a@0.000000"] = {{1.0, 0.3, "can", 0.5f}, {4.0, 0.3, "we", 0.5f}};
    speech_.piecesByChunk["system-audio.m4a@55.000000"] = {{1.0, 0.3, "later", 0.5f}};
    speech_.piecesByChunk["microphone.m4a@0.000000"] = {{2.0, 0.3, "yes", 0.9f}};
    const auto transcript = run();

    EXPECT_EQ(progress_, (std::vector<TranscriptionProgress>{{0, 4}, {1, 4}, {2, 4}, {2, 4}, {3, 4}, {4, 4}}));
    std::vector<std::pair<double, std::string>> timeline;
    for (const auto& s : transcript.segments) timeline.emplace_back(s.startSeconds, *s.sourceTrack + ":" + s.text);
    EXPECT_EQ(timeline, (std::vector<std::pair<double, std::string>>{
                            {11.0, "system-audio:can"}, {12.5, "microphone:yes"}, {14.0, "system-audio:we"}, {66.0, "system-audio:later"}}));
    EXPECT_EQ(transcript.segments[1].speaker, (TranscriptSpeaker{"self", "You", "self"}));
    EXPECT_EQ(transcript.audioFile, "system-audio.m4a,microphone.m4a");
}

TEST_F(SessionTranscription, AnEmptyTrackReportsNothingAndAddsNoChunks) {
    addMicrophone(0, std::nullopt);
    audio_.durations[kSystemAudioFileName] = 30;
    const auto transcript = run();
    EXPECT_EQ(progress_, (std::vector<TranscriptionProgress>{{0, 1}, {1, 1}}));
    EXPECT_TRUE(transcript.segments.empty());  // silent audio still makes a transcript
    EXPECT_EQ(transcript.audioFile, "system-audio.m4a,microphone.m4a");
}

TEST_F(SessionTranscription, MissingSystemAudioFailsBeforeAnyWork) {
    manifest_.systemAudioFile.reset();
    addMicrophone(60, std::nullopt);
    route_.answer = [](const TranscriptionTrack&) -> std::vector<LocalTranscriptSegment> { throw Error("must not be asked"); };
    EXPECT_EQ(failureOf(), TranscriptionErrorCase::missingSystemAudio);
    EXPECT_EQ(lastMessage_, "This session does not have a system-audio track to transcribe.");
    EXPECT_TRUE(audio_.exported.empty());
    EXPECT_TRUE(progress_.empty());
    EXPECT_FALSE(fs::exists(session_ / kTranscriptionDiagnosticsFileName));
}

TEST_F(SessionTranscription, TrackNamesThatLeaveTheSessionFolderAreRefused) {
    for (const char* name : {"../system-audio.m4a", "/etc/system-audio.m4a", "..", ""}) {
        manifest_.systemAudioFile = name;
        audio_.durations[name] = 10;
        EXPECT_THROW(run(), DecodingError) << name;
    }
    EXPECT_TRUE(audio_.exported.empty());
}

TEST_F(SessionTranscription, ModelProblemsMapToTheirErrorsAndTouchNoAudio) {
    speech_.status = SpeechModelStatus::notInstalled;
    EXPECT_EQ(failureOf("fr-FR"), TranscriptionErrorCase::onDeviceModelUnavailable);
    EXPECT_EQ(lastMessage_,
              "No on-device speech model is installed for fr-FR. Quillmer will not send this recording to a speech "
              "service instead — install a speech model for that language, or import an existing transcript.");
    speech_.status = SpeechModelStatus::unreadable;
    EXPECT_EQ(failureOf(), TranscriptionErrorCase::permissionDenied);
    speech_.status = SpeechModelStatus::invalidLocale;
    EXPECT_EQ(failureOf("../x"), TranscriptionErrorCase::unavailable);
    EXPECT_EQ(lastMessage_, "Speech recognition is unavailable for the selected language.");
    speech_.status = SpeechModelStatus::installed;
    speech_.loads = false;
    EXPECT_EQ(failureOf(), TranscriptionErrorCase::unavailable);
    EXPECT_TRUE(audio_.exported.empty());
    EXPECT_FALSE(transcriptStored());
}

TEST_F(SessionTranscription, CancellingDuringTheSecondChunkLeavesNothingBehind) {
    std::stop_source stop;
    std::vector<size_t> filesDuringRecognition;
    speech_.onRecognize = [&](int call) {
        for (const auto& entry : fs::directory_iterator(workRoot_.path()))
            filesDuringRecognition.push_back(static_cast<size_t>(std::distance(fs::directory_iterator(entry.path()), {})));
        if (call == 2) stop.request_stop();
    };
    EXPECT_THROW(run(stop.get_token()), CancellationError);
    EXPECT_EQ(filesDuringRecognition, (std::vector<size_t>{1, 2}));  // chunk files accumulate in one directory
    EXPECT_EQ(progress_, (std::vector<TranscriptionProgress>{{0, 3}, {1, 3}}));
    EXPECT_FALSE(workingDirectoriesLeft());
    EXPECT_FALSE(transcriptStored());

    // Cancelled before the first chunk: nothing is exported at all.
    std::stop_source early;
    early.request_stop();
    audio_.exported.clear();
    EXPECT_THROW(run(early.get_token()), CancellationError);
    EXPECT_TRUE(audio_.exported.empty());
    EXPECT_FALSE(workingDirectoriesLeft());
}

TEST_F(SessionTranscription, ExportFailuresAreChunkExportFailedAndCleanUp) {
    audio_.failExports = true;
    EXPECT_EQ(failureOf(), TranscriptionErrorCase::chunkExportFailed);
    EXPECT_EQ(lastMessage_, "Quillmer could not prepare a local audio segment for transcription.");
    EXPECT_FALSE(workingDirectoriesLeft());
    EXPECT_FALSE(transcriptStored());
}

TEST_F(SessionTranscription, AnApprovedRemoteRouteIsUsedWhenItWorks) {
    addMicrophone(60, 2.0);
    route_.answer = [](const TranscriptionTrack& track) {
        LocalTranscriptSegment s;
        s.id = Uuid::random();
        s.startSeconds = track.sourceTrack == "microphone" ? 1 : 5;
        s.text = track.sourceTrack;
        s.speaker = track.defaultSpeaker;
        s.sourceTrack = track.sourceTrack;
        return std::vector<LocalTranscriptSegment>{s};
    };
    const auto transcript = run();
    EXPECT_EQ(transcript.provider, "quillmer-hosted-scribe-v2");
    EXPECT_EQ(transcript.localeIdentifier, "und");
    ASSERT_EQ(transcript.segments.size(), 2u);
    EXPECT_EQ(transcript.segments[0].text, "microphone");  // sorted across tracks
    EXPECT_EQ(progress_, (std::vector<TranscriptionProgress>{{0, 2}, {1, 2}, {2, 2}}));
    EXPECT_TRUE(audio_.exported.empty());
    EXPECT_FALSE(fs::exists(session_ / kTranscriptionDiagnosticsFileName));
}

TEST_F(SessionTranscription, AFailedRemoteRouteIsRecordedAndTheRunContinuesOnThisComputer) {
    route_.answer = [](const TranscriptionTrack&) -> std::vector<LocalTranscriptSegment> {
        throw TranscriptionError::audioTooLargeForRemoteRoute(70'000'000, 67'108'864);
    };
    EXPECT_EQ(run().provider, "pocketsphinx");
    const auto diagnostics = readWholeFile(session_ / kTranscriptionDiagnosticsFileName);
    const auto firstLine = diagnostics.substr(0, diagnostics.find('\n'));
    EXPECT_TRUE(parseISO8601(firstLine)) << firstLine;
    EXPECT_EQ(diagnostics.substr(firstLine.size()),
              "\nThis audio track is 67 MB, over the 64 MB limit for diarized transcription, so Quillmer did not upload "
              "it. Quillmer transcribed it on this computer instead.\n");
    EXPECT_EQ(progress_.front(), (TranscriptionProgress{0, 1}));  // the remote attempt's own start
    EXPECT_EQ(progress_.back(), (TranscriptionProgress{3, 3}));

    // A remote answer with no speech at all is a failure too.
    route_.answer = [](const TranscriptionTrack&) { return std::vector<LocalTranscriptSegment>{}; };
    EXPECT_EQ(run().provider, "pocketsphinx");
    const auto again = readWholeFile(session_ / kTranscriptionDiagnosticsFileName);
    EXPECT_NE(again.find("\nDiarized transcription failed: The diarized transcription service returned no speech segments.\n"),
              std::string::npos);
}

}  // namespace
}  // namespace quillmer
