// The route decision, the consent switch, and both upload routes against a loopback server.
#include <gtest/gtest.h>

#include "consent/remote_transcription_consent.h"
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

using Route = RemoteTranscriptionRoute;
using Reason = RemoteTranscriptionUnavailableReason;

RemoteTranscriptionEnvironment environment(std::optional<std::string> relay, std::optional<std::string> credential,
                                           bool developer, std::optional<std::string> key) {
    return {std::move(relay), [credential] { return credential; }, [key] { return key; }, developer,
            kElevenLabsDefaultBaseURL};
}

struct RemoteRouteSettings : ::testing::Test {
    testing::TemporaryFolder folder;
    JsonFileUserDefaults defaults{folder / "defaults.json"};
    RemoteTranscriptionSettings settings{defaults};
};

TEST_F(RemoteRouteSettings, TheDecisionFollowsTheStoredRouteThenTheEnvironment) {
    const struct {
        const char* stored;
        RemoteTranscriptionEnvironment environment;
        std::optional<Route> route;
        Reason reason;
    } cases[] = {
        {"", environment("https://relay.test", "qm1_x", true, "k"), std::nullopt, Reason::notApproved},
        {"Hosted", environment("https://relay.test", "qm1_x", true, "k"), std::nullopt, Reason::notApproved},
        {"hosted", environment(std::nullopt, "qm1_x", true, "k"), std::nullopt, Reason::relayNotConfigured},
        {"hosted", environment("https://relay.test", std::nullopt, true, "k"), std::nullopt,
         Reason::hostedCredentialMissing},
        {"hosted", environment("https://relay.test", "qm1_x", false, std::nullopt), Route::hosted, Reason::notApproved},
        {"localDevelopment", environment("https://relay.test", "qm1_x", false, "k"), std::nullopt,
         Reason::localDevelopmentPathDisabled},
        {"localDevelopment", environment(std::nullopt, std::nullopt, true, std::nullopt), std::nullopt,
         Reason::localDevelopmentKeyMissing},
        {"localDevelopment", environment(std::nullopt, std::nullopt, true, "k"), Route::localDevelopment,
         Reason::notApproved},
    };
    for (const auto& c : cases) {
        defaults.setValue(kRemoteRouteKey, std::string(c.stored));
        const auto decision = settings.decision(c.environment);
        EXPECT_EQ(decision.route, c.route) << c.stored;
        if (!c.route) {
            EXPECT_EQ(decision.reason, c.reason) << c.stored << " " << reasonText(c.reason);
        }
    }
    // Only exactly "1" opens the developer route.
    for (const auto& [value, enabled] : {std::pair{"1", true}, {"true", false}, {"1 ", false}}) {
        testing::ScopedEnvironment variable("QUILLMER_LOCAL_ELEVENLABS", value);
        EXPECT_EQ(RemoteTranscriptionEnvironment::ofProcess().localDevelopmentPathEnabled, enabled) << value;
    }
}

// Switching on and off as the page does is the bridge tests' part; here, the host shown without its
// port, and a route whose credential is gone, offered but not taken.
TEST_F(RemoteRouteSettings, SwitchingOnApprovesTheFirstUsableRoute) {
    auto state = setRemoteTranscription(settings, environment("https://relay.test:8443", "qm1_x", true, "k"), true,
                                        std::chrono::system_clock::now());
    EXPECT_EQ(std::tie(state.enabled, state.providerName, state.providerHost),
              std::make_tuple(true, "Quillmer hosted transcription", "relay.test"));
    EXPECT_EQ(defaults.stringValue(kRemoteRouteKey), "hosted");
    EXPECT_TRUE(settings.approvedAt());

    state = remoteTranscriptionState(settings, environment("https://relay.test", std::nullopt, true, "k"));
    EXPECT_TRUE(state.configured && !state.enabled);
    EXPECT_EQ(state.providerHost, "api.elevenlabs.io");
}

TEST(ScribeWords, GroupIntoOneSegmentPerSpeakerRun) {
    const Json body = parseJSON(R"J({"words": [
        {"text": "Hi", "start": 0.5, "end": 0.75, "type": "word", "speaker_id": "speaker_0"},
        {"text": " ", "start": 0.75, "end": 0.8, "type": "spacing", "speaker_id": "speaker_0"},
        {"text": "there", "start": 0.8, "end": 1.25, "speaker_id": "speaker_0"},
        {"text": "(laughs)", "start": 1.3, "type": "audio_event", "speaker_id": "speaker_1"},
        {"text": "Yes", "start": 2, "speaker_id": "speaker_1"}], "extra": 1})J");
    const TranscriptionTrack system{"system-audio.m4a", 100, {std::nullopt, "Remote", "remote"}, "system-audio"};
    const auto segments = scribeWordSegments(body, system);
    ASSERT_EQ(segments.size(), 2u);
    EXPECT_EQ(segments[0], (LocalTranscriptSegment{segments[0].id, 100.5, 0.75, "Hi there", std::nullopt,
                                                   TranscriptSpeaker{"speaker_0", "Speaker speaker_0", "remote"}, "system-audio"}));
    // No end: a point in time.
    EXPECT_EQ(segments[1], (LocalTranscriptSegment{segments[1].id, 102, 0, "Yes", std::nullopt,
                                                   TranscriptSpeaker{"speaker_1", "Speaker speaker_1", "remote"}, "system-audio"}));

    const TranscriptionTrack microphone{"microphone.m4a", 0, {std::nullopt, "Me", "self"}, "microphone"};
    EXPECT_EQ(scribeWordSegments(body, microphone)[1].speaker->name, "You");
    EXPECT_THROW(scribeWordSegments(parseJSON(R"({"words": [{"start": 1}]})"), system), DecodingError);
}

struct DiarizedUpload : ::testing::Test {
    DiarizedUpload() { writeFileAtomically(audio, std::string("\0\x01audio\r\n", 9)); }
    std::vector<LocalTranscriptSegment> send(Route route, const std::string& endpoint) {
        DiarizedTranscriptionClient client(route, endpoint, "secret", http);
        return client.transcribeTrack(audio, "SESSION-ID", track, {});
    }
    testing::TemporaryFolder folder;
    std::filesystem::path audio = folder / "system-audio.m4a";
    TranscriptionTrack track{"system-audio.m4a", 10, {std::nullopt, "Remote", "remote"}, "system-audio"};
    testing::LoopbackHttpServer server;
    CurlHttpTransport http;
};

TEST_F(DiarizedUpload, TheHostedRouteSendsTheWholeFileWithTheRelayHeaders) {
    server.respond("/analysis/transcribe",
                   {200, R"({"provider":"x","segments":[{"startSeconds":1,"durationSeconds":-1,"text":" hi ",
                            "speakerID":"A"},{"startSeconds":3,"durationSeconds":2,"text":"ok"}]})", ""});
    const auto segments = send(Route::hosted, server.url(""));
    const auto request = server.recordedRequests().at(0);
    EXPECT_EQ(std::tie(request.method, request.body), std::make_tuple("POST", readWholeFile(audio)));
    for (const auto& [header, value] : {std::pair{"authorization", "Bearer secret"}, {"content-type", "audio/mp4"},
                                        {"accept", "application/json"}, {"x-quillmer-audio-filename", "system-audio.m4a"},
                                        {"idempotency-key", "SESSION-ID:system-audio"}})
        EXPECT_EQ(request.headers.at(header), value) << header;
    ASSERT_EQ(segments.size(), 2u);
    EXPECT_EQ(std::tie(segments[0].text, segments[0].startSeconds, segments[0].durationSeconds, segments[0].speaker->name),
              std::make_tuple(" hi ", 11.0, 0.0, "Speaker A"));
    EXPECT_EQ(segments[1].speaker, track.defaultSpeaker);
}

TEST_F(DiarizedUpload, TheDeveloperRouteSendsTheLiteralMultipartBody) {
    server.respond("/v1/speech-to-text", {200, R"({"words":[]})", ""});
    EXPECT_TRUE(send(Route::localDevelopment, server.url("")).empty());
    const auto request = server.recordedRequests().at(0);
    EXPECT_EQ(request.headers.at("xi-api-key"), "secret");
    EXPECT_FALSE(request.headers.contains("idempotency-key"));
    const std::string type = request.headers.at("content-type");
    const std::string boundary = type.substr(type.find("boundary=") + 9);
    EXPECT_TRUE(boundary.starts_with("Quillmer-") && Uuid::parse(boundary.substr(9))) << boundary;
    const std::string field = "--" + boundary + "\r\nContent-Disposition: form-data; name=\"";
    EXPECT_EQ(request.body, field + "model_id\"\r\n\r\nscribe_v2\r\n" + field + "diarize\"\r\n\r\ntrue\r\n" + field +
                                "timestamps_granularity\"\r\n\r\nword\r\n" + field +
                                "file\"; filename=\"system-audio.m4a\"\r\nContent-Type: audio/mp4\r\n\r\n" +
                                readWholeFile(audio) + "\r\n--" + boundary + "--\r\n");
}

TEST_F(DiarizedUpload, ARefusalOrAnOversizedTrackIsAProviderFailure) {
    const std::string refusal = R"({"error":"Out of credit","code":"daily_limit_credential"})";
    server.respond("/analysis/transcribe", {402, refusal, ""});
    const auto refused = testing::thrown<TranscriptionError>([&] { send(Route::hosted, server.url("")); }).value();
    EXPECT_EQ(refused.kind(), TranscriptionErrorCase::enhancedProviderFailed);
    EXPECT_EQ(std::string(refused.what()), "Diarized transcription failed: " + refusal);
    std::filesystem::resize_file(audio, 70'000'000);  // sparse: nothing is written
    for (const Route route : {Route::hosted, Route::localDevelopment})
        EXPECT_EQ(testing::thrown<TranscriptionError>([&] { send(route, server.url("")); }).value().kind(),
                  TranscriptionErrorCase::audioTooLargeForRemoteRoute);
    EXPECT_EQ(server.recordedRequests().size(), 1u);  // only the refused one
}

}  // namespace
}  // namespace quillmer
