#include <gtest/gtest.h>

#include "capture/local_session_library.h"
#include "capture/session_progress_files.h"
#include "cloud/cloud_session_sync.h"
#include "cloud/cloud_session_sync_error.h"
#include "cloud/device_credential.h"
#include "cloud/zoom_connection.h"
#include "core/sha256.h"
#include "evidence/evidence_bundle_document.h"
#include "platform/linux/curl_http_transport.h"
#include "platform/linux/json_file_user_defaults.h"
#include "support/fake_keyring.h"
#include "support/loopback_http_server.h"
#include "support/recording_trash.h"
#include "support/temporary_folder.h"
#include "support/thrown.h"
#include "support/test_sessions.h"

namespace quillmer {
namespace {

namespace fs = std::filesystem;
using testing::LoopbackHttpServer;
using Response = LoopbackHttpServer::Response;

struct RelayFixture : ::testing::Test {
    LoopbackHttpServer relay;
    CurlHttpTransport http;
    testing::TemporaryFolder folder;
    fs::path sessions = folder / "Sessions";
    fs::path exports = folder / "Exports";

    int sync() {
        CloudSessionSync sync(sessions, exports, relayAccess(http, {relay.url(""), "qm1_device"}));
        return sync.sync();
    }
    // A finished cloud meeting listed by the relay with one frame of `frame` bytes.
    std::string serveMeeting(const std::string& cloudID, const std::string& frame, std::string framePath = "frames/a.png",
                             bool upperCaseDigest = false) {
        auto manifest = testing::recordedManifest(std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now()));
        EvidenceBundleDocument evidence;
        evidence.session.id = manifest.id;
        auto digest = sha256Hex(frame);
        if (upperCaseDigest) for (char& c : digest) c = static_cast<char>(std::toupper(c));
        evidence.candidates.push_back({Uuid::random(), 0, 8, "this", "make this bigger",
                                       {{framePath, digest, static_cast<int64_t>(frame.size())}}, std::nullopt});
        const auto base = "/sessions/" + cloudID + "/files/";
        relay.respond(base + "session.json", {200, encodeJSON(manifest.toJSON()), ""});
        relay.respond(base + "transcript.json", {200, "{}", ""});
        relay.respond(base + "evidence-candidates.json", {200, testing::candidatesJSON(1), ""});
        relay.respond(base + "evidence.json", {200, encodeJSON(evidence.toJSON()), ""});
        relay.respond(base + framePath, {200, frame, ""});
        relay.respond("/sessions/by-session/" + manifest.id.toString(), {200, "{}", ""});
        return manifest.id.toString();
    }
    void list(const std::vector<std::pair<std::string, std::string>>& meetings) {
        Json entries = Json::array();
        for (const auto& [cloudID, sessionID] : meetings)
            entries.push_back({{"id", cloudID}, {"sessionID", sessionID}, {"startedAt", "2026-05-04T10:00:00Z"},
                               {"stoppedAt", "2026-05-04T11:00:00Z"}});
        relay.respond("/sessions", {200, encodeJSON({{"sessions", entries}}), ""});
    }
    // Nothing but the earlier meetings: no half meeting, no staging folder.
    void expectLibraryHolds(size_t count) {
        size_t entries = 0;
        for (const auto& root : {sessions, exports})
            for (const auto& entry : fs::directory_iterator(root)) {
                EXPECT_FALSE(entry.path().filename().string().starts_with(".")) << entry.path();
                ++entries;
            }
        EXPECT_EQ(entries, 2 * count);
    }
    std::optional<CloudSessionSyncError> syncError() {
        return testing::thrown<CloudSessionSyncError>([&] { sync(); });
    }
};

TEST_F(RelayFixture, ImportsFinishedMeetingsIntoPlaceAndDeletesThemOnTheRelay) {
    const auto first = serveMeeting("c1", "png-1");
    const auto second = serveMeeting("c2", "png-2", "frames/b.png", /*upperCaseDigest=*/true);
    list({{"c1", first}, {"c2", second}});
    EXPECT_EQ(sync(), 2);
    EXPECT_TRUE(fs::exists(sessions / first / "session.json"));
    EXPECT_EQ(readWholeFile(exports / second / "frames/b.png"), "png-2");
    int deletes = 0;
    for (const auto& request : relay.recordedRequests()) {
        EXPECT_EQ(request.headers.at("authorization"), "Bearer qm1_device");
        deletes += request.method == "DELETE";
    }
    EXPECT_EQ(deletes, 2);
    testing::RecordingTrash trash;
    EXPECT_EQ(LocalSessionLibrary(trash, sessions, exports).recentSessions(5).size(), 2u);
    EXPECT_EQ(sync(), 0);  // already present
}

TEST_F(RelayFixture, RefusesABadMeetingAndKeepsWhatTheLibraryHad) {
    const auto good = serveMeeting("ok", "png");
    list({{"ok", good}});
    ASSERT_EQ(sync(), 1);

    struct Case {
        std::string name;
        std::function<void(const std::string& id)> spoil;
        std::string framePath = "frames/a.png";
        CloudSessionSyncErrorCase expected;
    };
    const std::string frameRoute = "/sessions/bad/files/frames/a.png";
    const std::vector<Case> cases = {
        {"wrong digest", [&](auto&) { relay.respond(frameRoute, {200, "other", ""}); }, "frames/a.png",
         CloudSessionSyncErrorCase::integrityFailure},
        {"escaping frame path", [](auto&) {}, "frames/../../x.png", CloudSessionSyncErrorCase::unsafePath},
        {"204 download", [&](auto&) { relay.respond(frameRoute, {204, "", ""}); }, "frames/a.png",
         CloudSessionSyncErrorCase::requestFailed},
        {"connection lost mid-file",
         [&](auto&) {
             Response dropped{200, "png", ""};
             dropped.dropAfterBytes = 1;
             relay.respond(frameRoute, dropped);
         },
         "frames/a.png", CloudSessionSyncErrorCase::requestFailed},
        {"one byte over the limit",
         [&](auto&) { relay.respond(frameRoute, {200, std::string(kCloudArtifactByteLimit + 1, 'x'), ""}); },
         "frames/a.png", CloudSessionSyncErrorCase::fileTooLarge},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto id = serveMeeting("bad", "png", c.framePath);
        c.spoil(id);
        list({{"ok", good}, {"bad", id}});
        const auto error = syncError();
        ASSERT_TRUE(error);
        EXPECT_EQ(error->kind(), c.expected) << error->what();
        if (c.name == "204 download") {
            EXPECT_STREQ(error->what(), "Cloud meeting sync failed (HTTP 204).");
        }
        expectLibraryHolds(1);
    }
    list({{"ok", good}, {"x", "not-a-uuid"}});
    EXPECT_EQ(syncError().value().kind(), CloudSessionSyncErrorCase::invalidSession);
}

TEST_F(RelayFixture, AcceptsAnArtifactOfExactlyTheLimitAndCleansLeftoverStaging) {
    fs::create_directories(sessions / ".ABC.DEF.syncing");
    const auto id = serveMeeting("big", std::string(kCloudArtifactByteLimit, 'x'));
    list({{"big", id}});
    relay.respond("/sessions/by-session/" + id, {404, "", ""});  // already gone: not a failure
    EXPECT_EQ(sync(), 1);
    EXPECT_EQ(fs::file_size(exports / id / "frames/a.png"), kCloudArtifactByteLimit);
    expectLibraryHolds(1);
}

struct ZoomFixture : ::testing::Test {
    LoopbackHttpServer relay;
    CurlHttpTransport http;
    testing::TemporaryFolder folder;
    JsonFileUserDefaults defaults{folder / "defaults.json"};
    testing::FakeKeyring keyring;
    ProcessCredentialCache cache{keyring};
    std::chrono::system_clock::time_point now = std::chrono::system_clock::now();
    ZoomConnectStateStore states{[this] { return now; }};
    std::vector<std::string> opened;
    ZoomConnection connection{{http, defaults, [this](const std::string& url) { opened.push_back(url); return true; },
                               [this] { return std::optional(relay.url("")); }, cache},
                              states};

    std::string start() {
        connection.startConnection();
        const auto& url = opened.back();
        return url.substr(url.find("state=") + 6);
    }
    std::optional<ZoomCloudConnectionErrorCase> callbackFailure(const std::string& url) {
        const auto error = testing::thrown<ZoomCloudConnectionError>([&] { connection.handleCallback(url); });
        return error ? std::optional(error->kind()) : std::nullopt;
    }
};

TEST_F(ZoomFixture, ExchangesOnlyTheCallbackItStartedAndOnlyOnce) {
    relay.respond("/auth/exchange", {200, R"({"token":"qm1_new","expiresAt":"2027-01-01T00:00:00Z"})", ""});
    const auto first = start();
    EXPECT_EQ(first.size(), 43u);
    EXPECT_TRUE(opened.back().starts_with(relay.url("/auth/zoom/start?state=")));
    const auto state = start();  // replaces the first
    EXPECT_EQ(callbackFailure("quillmer://zoom-connected?state=" + first + "&ticket=t"),
              ZoomCloudConnectionErrorCase::unsolicitedCallback);
    EXPECT_EQ(callbackFailure("quillmer://zoom-connected?state=" + state), ZoomCloudConnectionErrorCase::invalidCallback);
    EXPECT_EQ(callbackFailure("quillmer://elsewhere?state=" + state + "&ticket=t"),
              ZoomCloudConnectionErrorCase::invalidCallback);
    EXPECT_TRUE(relay.recordedRequests().empty());

    connection.handleCallback("quillmer://zoom-connected?state=" + state + "&ticket=t1");
    EXPECT_EQ(keyring.items.at(kRelayDeviceCredentialItem), "qm1_new");
    const auto body = parseJSON(relay.recordedRequests().at(0).body);
    EXPECT_EQ(body["ticket"], "t1");
    EXPECT_TRUE(body["deviceName"].get<std::string>().starts_with("Quillmer for Linux ("));
    EXPECT_EQ(callbackFailure("quillmer://zoom-connected?state=" + state + "&ticket=t1"),
              ZoomCloudConnectionErrorCase::unsolicitedCallback);  // replay
    EXPECT_EQ(relay.recordedRequests().size(), 1u);
}

TEST_F(ZoomFixture, ExpiredStatesFailedExchangesAndForeignTokensStoreNothing) {
    auto state = start();
    now += std::chrono::seconds(601);
    EXPECT_FALSE(connection.isConnecting());
    EXPECT_EQ(callbackFailure("quillmer://zoom-connected?state=" + state + "&ticket=t"),
              ZoomCloudConnectionErrorCase::unsolicitedCallback);

    relay.respondInTurn("/auth/exchange", {{500, "", ""}, {200, "[]", ""}, {200, R"({"token":"abc","expiresAt":"x"})", ""}});
    state = start();
    EXPECT_EQ(callbackFailure("quillmer://zoom-connected?state=" + state + "&ticket=t"),
              ZoomCloudConnectionErrorCase::exchangeFailed);
    state = start();
    EXPECT_EQ(callbackFailure("quillmer://zoom-connected?state=" + state + "&ticket=t"),
              ZoomCloudConnectionErrorCase::invalidCallback);
    state = start();
    EXPECT_THROW(connection.handleCallback("quillmer://zoom-connected?state=" + state + "&ticket=t"),
                 CloudSessionSyncError);
    EXPECT_TRUE(keyring.items.empty());
}

}  // namespace
}  // namespace quillmer
