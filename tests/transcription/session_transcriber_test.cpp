#include "transcription/session_transcriber.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <set>

#include "capture/session_folder.h"
#include "core/atomic_file.h"
#include "platform/linux/curl_http_transport.h"
#include "platform/linux/json_file_user_defaults.h"
#include "support/loopback_http_server.h"
#include "support/temporary_folder.h"
#include "support/thrown.h"
#include "transcription/diarized_transcription_client.h"
#include "transcription/transcription_error.h"

namespace quillmer {
namespace {

namespace fs = std::filesystem;
using testing::writeTestFile;
using Pieces = std::vector<RecognizedPiece>;
using RemoteAnswer = std::function<std::vector<LocalTranscriptSegment>(const TranscriptionTrack&)>;

// Tracks of given durations, whose chunk files read "track@start", and a recognizer answering each
// chunk with the pieces queued for it.
struct FakeMedia final : AudioTrackReaderFactory, SpeechRecognizerProvider {
    std::map<std::string, double> durations;
    std::vector<std::string> exported;  // "track@start+duration>file"
    bool failExports = false;
    SpeechModelStatus status = SpeechModelStatus::installed;
    bool loads = true;
    std::map<std::string, Pieces> piecesByChunk;
    std::function<void(int call)> onRecognize;  // before answering, with the 1-based call number

    std::unique_ptr<AudioTrackReader> open(const fs::path& file) override {
        return std::make_unique<Reader>(*this, file.filename().string());
    }
    SpeechModelStatus modelStatus(std::string_view) const override { return status; }
    std::unique_ptr<SpeechRecognizer> makeRecognizer(std::string_view) override {
        return loads ? std::make_unique<Recognizer>(*this) : nullptr;
    }

    struct Reader final : AudioTrackReader {
        Reader(FakeMedia& m, std::string name) : media(m), name(std::move(name)) {}
        double durationSeconds() const override { return media.durations.at(name); }
        void exportChunk(double start, double duration, const fs::path& destination) override {
            if (media.failExports) throw Error("decoder broke");
            const std::string chunk = name + "@" + std::to_string(static_cast<int>(start));
            media.exported.push_back(chunk + "+" + std::to_string(static_cast<int>(duration)) + ">" +
                                     destination.filename().string());
            writeFileAtomically(destination, chunk);
        }
        FakeMedia& media;
        std::string name;
    };
    struct Recognizer final : SpeechRecognizer {
        explicit Recognizer(FakeMedia& m) : media(m) {}
        Pieces recognize(const fs::path& file, std::stop_token stop) override {
            if (media.onRecognize) media.onRecognize(static_cast<int>(media.exported.size()));
            if (stop.stop_requested()) throw CancellationError();
            const auto found = media.piecesByChunk.find(readWholeFile(file));
            return found == media.piecesByChunk.end() ? Pieces{} : found->second;
        }
        FakeMedia& media;
    };
};

// Approves a remote route whose plan answers with `answer`, when there is one.
struct FakeRoute final : TranscriptionRouteDecider {
    RemoteAnswer answer;
    std::unique_ptr<RemoteTranscriptionPlan> remotePlan() override { return answer ? std::make_unique<Plan>(answer) : nullptr; }

    struct Plan final : RemoteTranscriptionPlan {
        explicit Plan(RemoteAnswer a) : answer(std::move(a)) {}
        std::string provider() const override { return "quillmer-hosted-scribe-v2"; }
        std::vector<LocalTranscriptSegment> transcribeTrack(const fs::path&, const std::string&,
                                                            const TranscriptionTrack& track, std::stop_token) override {
            return answer(track);
        }
        RemoteAnswer answer;
    };
};

// Public, so that a table of cases can arrange fresh instances.
class SessionTranscription : public ::testing::Test {
public:
    SessionTranscription() : temporaryDirectory_("TMPDIR", workRoot_.path().string()) {
        manifest_.id = Uuid::random();
        manifest_.videoFile = kScreenVideoFileName;
        manifest_.systemAudioFile = kSystemAudioFileName;
        media_.durations[kSystemAudioFileName] = 120;
        options_.exportsRoot = exports_.path();
    }
    void TestBody() override {}

    LocalTranscript run(std::stop_token stop = {}, const std::string& locale = "en-US") {
        writeManifest(session_.path(), manifest_);
        const SessionTranscriber transcriber(route_, media_, media_, options_);
        return transcriber.transcribe(session_.path(), locale, [&](const TranscriptionProgress& p) { progress_.push_back(p); }, stop);
    }

    // The failure's description, checking that the transcript did not change and that no working
    // directory (made under $TMPDIR, this test's own folder) was left behind.
    std::string failure(std::stop_token stop = {}, const std::string& locale = "en-US") {
        const auto stored = [&] { return fs::exists(session_ / kTranscriptFileName) ? readWholeFile(session_ / kTranscriptFileName) : ""; };
        const std::string before = stored();
        const std::string message = testing::failureText([&] { run(stop, locale); });
        EXPECT_EQ(stored(), before);
        EXPECT_TRUE(fs::is_empty(workRoot_.path()));
        return message;
    }

    testing::TemporaryFolder session_, exports_, workRoot_;  // made before $TMPDIR moves
    testing::ScopedEnvironment temporaryDirectory_;
    LocalSessionManifest manifest_;
    SessionTranscriber::Options options_;
    FakeRoute route_;
    FakeMedia media_;
    std::vector<TranscriptionProgress> progress_;
};

TEST_F(SessionTranscription, TracksAreCutIntoChunksAndInterleaveOnTheSourceClock) {
    manifest_.systemAudioFirstPTSSeconds = 1000.0;
    manifest_.microphoneAudioFile = kMicrophoneAudioFileName;  // no first PTS: offset 0
    media_.durations[kMicrophoneAudioFileName] = 30;
    media_.piecesByChunk["system-audio.m4a@55"] = {{3.2, 0.4, "header", 0.75f}};
    media_.piecesByChunk["microphone.m4a@0"] = {{2.0, 0.3, "yes", 0.5f}, {1.0, 0.3, "oh", 0.5f}};
    const auto transcript = run();

    EXPECT_EQ(media_.exported, (std::vector<std::string>{"system-audio.m4a@0+55>0.wav", "system-audio.m4a@55+55>55.wav",
                                                         "system-audio.m4a@110+10>110.wav", "microphone.m4a@0+30>0.wav"}));
    EXPECT_EQ(progress_, (std::vector<TranscriptionProgress>{{0, 4}, {1, 4}, {2, 4}, {3, 4}, {3, 4}, {4, 4}}));
    ASSERT_EQ(transcript.segments.size(), 3u);
    EXPECT_EQ(transcript.segments[0].text, "oh");  // sorted by time across tracks
    EXPECT_EQ(transcript.segments[1].speaker, (TranscriptSpeaker{"self", "You", "self"}));
    const auto& header = transcript.segments[2];
    EXPECT_DOUBLE_EQ(header.startSeconds, 1058.2);
    EXPECT_EQ(header, (LocalTranscriptSegment{header.id, header.startSeconds, 0.4, "header", 0.75,
                                              TranscriptSpeaker{"remote", "Call audio", "remote"}, "system-audio"}));
    EXPECT_EQ(std::tie(transcript.provider, transcript.audioFile),
              std::make_tuple("pocketsphinx", "system-audio.m4a,microphone.m4a"));
    EXPECT_EQ(encodeJSON(readTranscript(session_ / kTranscriptFileName).toJSON()), encodeJSON(transcript.toJSON()));
    EXPECT_EQ(readManifest(session_.path()).transcriptFile, "transcript.json");
    EXPECT_TRUE(fs::is_empty(workRoot_.path()));

    // Without a transcript to keep, silence makes one. Chunks start strictly below the duration, and a
    // track whose duration is not a finite positive number has none and reports nothing.
    media_.piecesByChunk.clear();
    for (const double unusable : {0.0, -3.0, std::nan(""), double(INFINITY)}) {
        fs::remove(session_ / kTranscriptFileName);
        media_.durations = {{kSystemAudioFileName, 110}, {kMicrophoneAudioFileName, unusable}};
        progress_.clear();
        EXPECT_TRUE(run().segments.empty());
        EXPECT_EQ(progress_, (std::vector<TranscriptionProgress>{{0, 2}, {1, 2}, {2, 2}})) << unusable;
    }
}

TEST_F(SessionTranscription, FailuresStoreNothingAndLeaveNoWorkingFiles) {
    const std::tuple<const char*, std::function<void(SessionTranscription&)>, const char*> cases[] = {
        {"fr-FR", [](auto& t) { t.media_.status = SpeechModelStatus::notInstalled; },
         "No on-device speech model is installed for fr-FR. Quillmer will not send this recording to a speech service"},
        {"en-US", [](auto& t) { t.media_.status = SpeechModelStatus::unreadable; }, "Speech recognition permission"},
        {"../x", [](auto& t) { t.media_.status = SpeechModelStatus::invalidLocale; }, "Speech recognition is unavailable"},
        {"en-US", [](auto& t) { t.media_.loads = false; }, "Speech recognition is unavailable"},
        {"en-US", [](auto& t) { t.media_.failExports = true; }, "could not prepare a local audio segment"},
        {"en-US",
         [](auto& t) {  // refused before the remote route is even asked
             t.manifest_.systemAudioFile.reset();
             t.route_.answer = [](const auto&) -> std::vector<LocalTranscriptSegment> { throw Error("asked"); };
         },
         "does not have a system-audio track"},
        {"en-US", [](auto& t) { t.manifest_.systemAudioFile = "../a.m4a"; }, "names the audio track \"../a.m4a\""},
    };
    for (const auto& [locale, arrange, fragment] : cases) {
        SessionTranscription fresh;
        arrange(fresh);
        EXPECT_NE(fresh.failure({}, locale).find(fragment), std::string::npos) << fragment;
        EXPECT_FALSE(readManifest(fresh.session_.path()).transcriptFile) << fragment;
        EXPECT_FALSE(fs::exists(fresh.session_ / kTranscriptionDiagnosticsFileName)) << fragment;
    }
}

TEST_F(SessionTranscription, CancellingDuringTheSecondChunkLeavesNothingBehind) {
    std::stop_source stop;
    std::vector<size_t> filesDuringRecognition;
    media_.onRecognize = [&](int call) {
        for (const auto& entry : fs::directory_iterator(workRoot_.path()))
            filesDuringRecognition.push_back(static_cast<size_t>(std::distance(fs::directory_iterator(entry.path()), {})));
        if (call == 2) stop.request_stop();
    };
    EXPECT_EQ(failure(stop.get_token()), "The operation was cancelled.");
    EXPECT_EQ(filesDuringRecognition, (std::vector<size_t>{1, 2}));  // chunk files accumulate in one directory
    EXPECT_EQ(progress_, (std::vector<TranscriptionProgress>{{0, 3}, {1, 3}}));

    media_.exported.clear();  // cancelled before the first chunk: nothing is exported at all
    EXPECT_EQ(failure(stop.get_token()), "The operation was cancelled.");
    EXPECT_TRUE(media_.exported.empty());
}

// A new transcript never silently replaces one the user imported or one with speech, and when it
// does replace one, what was made from the old one goes with it.
TEST_F(SessionTranscription, ReplacingATranscript) {
    writeTestFile(session_ / kTranscriptFileName,
                  R"({"audioFile":"source-transcript.vtt","createdAt":"2026-05-04T09:30:12Z","localeIdentifier":"und",)"
                  R"("schemaVersion":1,"segments":[{"durationSeconds":1,"id":"6F1C2A3B-0D4E-4F5A-9B6C-7D8E9F0A1B2C",)"
                  R"("startSeconds":1,"text":"imported"}],"sourcePTSOffsetSeconds":0})");
    writeTestFile(exports_ / manifest_.id.toString() / "evidence.json", "{}");
    EXPECT_EQ(failure(), "This meeting already has a transcript you imported. Quillmer keeps it rather than "
                         "replace it with a transcription of the recording.");
    EXPECT_TRUE(media_.exported.empty());  // refused before any work

    options_.replaceImported = true;  // asked for, but silence never replaces speech
    EXPECT_EQ(failure(), "Quillmer found no speech in this recording, so the meeting keeps its current transcript.");
    EXPECT_TRUE(fs::exists(exports_ / manifest_.id.toString()));

    media_.piecesByChunk["system-audio.m4a@0"] = {{1.0, 0.3, "spoken", 0.5f}};
    EXPECT_EQ(run().segments.size(), 1u);
    EXPECT_FALSE(fs::exists(exports_ / manifest_.id.toString()));

    // A transcription, or a damaged transcript, is no import; a damaged one beside a kept caption file is.
    options_.replaceImported = false;
    EXPECT_EQ(run().segments.size(), 1u);
    writeTestFile(session_ / kTranscriptFileName, "{");
    EXPECT_EQ(run().segments.size(), 1u);
    writeTestFile(session_ / kTranscriptFileName, "{");
    writeTestFile(session_ / "source-transcript.srt", "1");
    EXPECT_NE(failure().find("you imported"), std::string::npos);
}

// An approved remote route is used when it works; any failure is recorded and the run goes on here.
TEST_F(SessionTranscription, AnApprovedRemoteRoute) {
    manifest_.microphoneAudioFile = kMicrophoneAudioFileName;
    route_.answer = [](const TranscriptionTrack& track) {
        LocalTranscriptSegment segment;
        segment.startSeconds = track.sourceTrack == "microphone" ? 1 : 5;
        segment.text = track.sourceTrack;
        return std::vector<LocalTranscriptSegment>{segment};
    };
    const auto transcript = run();
    EXPECT_EQ(std::tie(transcript.provider, transcript.localeIdentifier), std::make_tuple("quillmer-hosted-scribe-v2", "und"));
    ASSERT_EQ(transcript.segments.size(), 2u);
    EXPECT_EQ(transcript.segments[0].text, "microphone");  // sorted across tracks
    EXPECT_EQ(progress_, (std::vector<TranscriptionProgress>{{0, 2}, {1, 2}, {2, 2}}));
    EXPECT_TRUE(media_.exported.empty());
    EXPECT_FALSE(fs::exists(session_ / kTranscriptionDiagnosticsFileName));

    manifest_.microphoneAudioFile.reset();
    const std::pair<RemoteAnswer, std::string> failures[] = {
        {[](const auto&) -> std::vector<LocalTranscriptSegment> {
             throw TranscriptionError::audioTooLargeForRemoteRoute(70'000'000, 67'108'864);
         },
         "This audio track is 67 MB, over the 64 MB limit for diarized transcription, so Quillmer did not upload it. "
         "Quillmer transcribed it on this computer instead."},
        {[](const auto&) { return std::vector<LocalTranscriptSegment>{}; },
         "Diarized transcription failed: The diarized transcription service returned no speech segments."},
    };
    for (const auto& [answer, description] : failures) {
        route_.answer = answer;
        progress_.clear();
        fs::remove(session_ / kTranscriptFileName);  // an empty transcription replaces nothing
        EXPECT_EQ(run().provider, "pocketsphinx");
        const auto diagnostics = readWholeFile(session_ / kTranscriptionDiagnosticsFileName);
        const auto firstLine = diagnostics.substr(0, diagnostics.find('\n'));
        EXPECT_TRUE(parseISO8601(firstLine)) << firstLine;
        EXPECT_EQ(diagnostics.substr(firstLine.size()), "\n" + description + "\n");
        EXPECT_EQ(progress_.front(), (TranscriptionProgress{0, 1}));  // the remote attempt's own start
        EXPECT_EQ(progress_.back(), (TranscriptionProgress{3, 3}));
    }
}

TEST_F(SessionTranscription, AnUnreachableRelayLeavesDiagnosticsAndAnOnDeviceTranscriptOnly) {
    manifest_.microphoneAudioFile = kMicrophoneAudioFileName;
    media_.durations[kMicrophoneAudioFileName] = 30;
    writeManifest(session_.path(), manifest_);
    for (const char* track : {kSystemAudioFileName, kMicrophoneAudioFileName})
        writeFileAtomically(session_ / track, "audio bytes");
    const std::string relay = testing::LoopbackHttpServer().url("");  // closed again at once
    JsonFileUserDefaults defaults(exports_ / "defaults.json");
    RemoteTranscriptionSettings settings(defaults);
    settings.approve(RemoteTranscriptionRoute::hosted, std::chrono::system_clock::now());
    CurlHttpTransport http;
    RemoteTranscriptionRouteDecider route(settings, [&] {
        return RemoteTranscriptionEnvironment{relay, [] { return std::optional<std::string>("qm1_x"); }, {}, false, ""};
    }, http);
    std::set<fs::path> before(fs::directory_iterator(session_.path()), {});

    const auto transcript =
        SessionTranscriber(route, media_, media_, options_).transcribe(session_.path(), "en-US", [](const auto&) {});
    EXPECT_EQ(route.lastDecision()->route, RemoteTranscriptionRoute::hosted);
    EXPECT_EQ(transcript.provider, "pocketsphinx");
    const auto diagnostics = readWholeFile(session_ / kTranscriptionDiagnosticsFileName);
    EXPECT_TRUE(parseISO8601(diagnostics.substr(0, diagnostics.find('\n')))) << diagnostics;
    EXPECT_NE(diagnostics.find("The HTTP request failed"), std::string::npos) << diagnostics;
    before.insert({session_ / kTranscriptFileName, session_ / kTranscriptionDiagnosticsFileName});
    EXPECT_EQ(std::set<fs::path>(fs::directory_iterator(session_.path()), {}), before);
}

}  // namespace
}  // namespace quillmer
