#include "app/updates/update_checker.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include "support/bridge_test_fixture.h"
#include "app/updates/release_version.h"
#include "core/base64.h"
#include "platform/linux/curl_http_transport.h"
#include "support/loopback_http_server.h"

namespace quillmer {
namespace {

using testing::LoopbackHttpServer;

TEST(ReleaseVersion, ComparesThreeNumbersThenReleaseOverBetaAndRefusesOtherShapes) {
    struct Case {
        const char* candidate;
        const char* current;
        bool newer;
    };
    for (const auto& [candidate, current, newer] : std::initializer_list<Case>{
             {"1.4.0", "1.4.0-beta.3", true}, {"1.4.0-beta.3", "1.4.0-beta.2", true}, {"1.4.0", "1.4.0", false},
             {"1.4.0-beta.2", "1.4.0-beta.10", false}, {"1.10.0", "1.9.9", true}, {"2.0.0", "10.0.0", false},
             {" 1.4.1\n", "1.4.0", true}, {"1.4", "1.3.0", false}, {"1.4.0.1", "1.3.0", false}, {"1..0", "0.0.1", false},
             {"v1.5.0", "1.4.0", false}, {"1.+5.0", "1.4.0", false}, {"1.5.0-rc.1", "1.4.0", false},
             {"1.5.0-beta.", "1.4.0", false}, {"1.5.0-beta.1a", "1.4.0", false}, {"1.5.0", "not a version", false},
             {"99999999999999999999.0.0", "1.0.0", false}})
        EXPECT_EQ(isNewerVersion(candidate, current), newer) << candidate << " vs " << current;
}

// An Ed25519 key pair made for the test.
struct SigningKey {
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key{EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519"),
                                                            &EVP_PKEY_free};

    std::string publicBase64() const {
        unsigned char raw[32];
        size_t length = sizeof raw;
        EVP_PKEY_get_raw_public_key(key.get(), raw, &length);
        return encodeBase64({reinterpret_cast<const char*>(raw), length});
    }
    std::string sign(const std::string& message) const {
        std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
        unsigned char signature[64];
        size_t length = sizeof signature;
        EVP_DigestSignInit(context.get(), nullptr, nullptr, nullptr, key.get());
        EVP_DigestSign(context.get(), signature, &length, reinterpret_cast<const unsigned char*>(message.data()), message.size());
        return {reinterpret_cast<const char*>(signature), length};
    }
};

Json releasePayload() {
    return {{"channel", "stable"}, {"version", "2.0.0"}, {"publishedAt", "2026-12-01T08:00:00Z"},
            {"downloadURL", "https://downloads.example/quillmer-2.0.0.deb"}, {"sha256", std::string(64, 'a')},
            {"notes", "Faster exports."}};
}

// The feed body: the payload's bytes and `signer`'s signature over `signedBytes` (the payload
// unless a test changes one of them).
std::string feedBody(const std::string& payload, const SigningKey& signer, std::optional<std::string> signedBytes = {}) {
    return Json{{"payload", encodeBase64(payload)}, {"signature", encodeBase64(signer.sign(signedBytes.value_or(payload)))}}
        .dump();
}

class UpdateCheckerTest : public testing::BridgeTest {
protected:
    std::unique_ptr<UpdateChecker> makeChecker(UpdateFeedConfiguration feed) {
        return std::make_unique<UpdateChecker>(UpdateCheckerDependencies{
            defaults, std::move(feed), "1.4.0", &http, &queue, [this](const std::string& url) { opened.push_back(url); },
            [this] { return now; }});
    }
    UpdateFeedConfiguration feedAt(const std::string& path) { return {server.url(path), key.publicBase64()}; }

    void check(UpdateChecker& checker) {
        bool done = false;
        checker.check([&] { done = true; });
        queue.runUntil([&] { return done; });
    }

    SigningKey key;
    CurlHttpTransport http;
    LoopbackHttpServer server;
    Timestamp now = *parseISO8601("2026-12-06T21:00:00Z");
    std::vector<std::string> opened;
};

TEST_F(UpdateCheckerTest, OnlyASignedHttpsFeedOfTheKeyAnnouncesANewerVersion) {
    const std::string payload = releasePayload().dump();
    Json httpDownload = releasePayload(), fromTheFuture = releasePayload(), sameVersion = releasePayload();
    httpDownload["downloadURL"] = "http://downloads.example/quillmer-2.0.0.deb";
    fromTheFuture["publishedAt"] = "2026-12-09T08:00:00Z";
    sameVersion["version"] = "1.4.0";
    std::string tampered = payload;
    tampered[tampered.find("2.0.0")] = '3';
    const SigningKey otherKey;

    const std::tuple<const char*, LoopbackHttpServer::Response, bool, std::optional<std::string>> cases[] = {
        {"valid", {200, feedBody(payload, key), ""}, false, "2.0.0"},
        {"not newer", {200, feedBody(sameVersion.dump(), key), ""}, false, std::nullopt},
        {"wrong key", {200, feedBody(payload, otherKey), ""}, true, std::nullopt},
        {"tampered body", {200, feedBody(tampered, key, payload), ""}, true, std::nullopt},
        {"http download", {200, feedBody(httpDownload.dump(), key), ""}, true, std::nullopt},
        {"from the future", {200, feedBody(fromTheFuture.dump(), key), ""}, true, std::nullopt},
        {"redirect", {302, "", "Location: " + server.url("/valid") + "\r\n"}, true, std::nullopt},
        {"not JSON", {200, "{\"payload\":", ""}, true, std::nullopt},
        {"server error", {500, feedBody(payload, key), ""}, true, std::nullopt},
    };
    server.respond("/valid", std::get<1>(cases[0]));
    for (const auto& [name, response, failed, available] : cases) {
        SCOPED_TRACE(name);
        defaults.removeValue("ai.quillmer.updates.lastCheckedAt");
        server.respond("/feed", response);
        const size_t requestsBefore = server.requests().size();
        const auto checker = makeChecker(feedAt("/feed"));
        check(*checker);

        EXPECT_EQ(server.requests().size(), requestsBefore + 1) << "one request, no redirect followed";
        const Json state = checker->stateJSON();
        EXPECT_EQ(state["lastCheckFailed"], failed);
        EXPECT_EQ(state.value("availableVersion", std::string()), available.value_or(""));
        EXPECT_EQ(state["checkedAt"], "2026-12-06T21:00:00Z");
        checker->openDownload();
        EXPECT_EQ(opened.size(), available ? 1u : 0u);
        opened.clear();
    }
    const std::string head = server.requests().front() + "\r\n";
    EXPECT_NE(head.find("User-Agent: Quillmer\r\n"), std::string::npos) << head;
    EXPECT_NE(head.find("Accept: application/json\r\n"), std::string::npos) << head;
    EXPECT_EQ(head.find("Cookie"), std::string::npos) << head;
}

TEST_F(UpdateCheckerTest, RequestsAtMostDailyAndNeverWithoutAFeedOrWhenTurnedOff) {
    server.respond("/feed", {200, feedBody(releasePayload().dump(), key), ""});
    for (const UpdateFeedConfiguration& unconfigured :
         {UpdateFeedConfiguration{}, {server.url("/feed"), ""}, {"", key.publicBase64()}}) {
        const auto checker = makeChecker(unconfigured);
        check(*checker);
        EXPECT_EQ(checker->stateJSON()["feedConfigured"], false);
        EXPECT_FALSE(checker->stateJSON().contains("checkedAt"));
    }
    auto checker = makeChecker(feedAt("/feed"));
    checker->setEnabled(false);
    check(*checker);
    EXPECT_TRUE(server.requests().empty()) << "no connection without a feed, or with checks off";

    checker->setEnabled(true);
    check(*checker);
    now += std::chrono::hours(23);
    check(*makeChecker(feedAt("/feed")));
    EXPECT_EQ(server.requests().size(), 1u) << "a second check within a day makes no request";
    now += std::chrono::hours(1);
    check(*checker);
    EXPECT_EQ(server.requests().size(), 2u);
}

TEST_F(UpdateCheckerTest, ThePageSeesAVerifiedNewerVersionAndOpensItsDownload) {
    server.respond("/feed", {200, feedBody(releasePayload().dump(), key), ""});
    const auto checker = makeChecker(feedAt("/feed"));
    updates = checker.get();
    bridge();
    queue.runUntil([&] { return !page->states.empty(); });
    const Json update = page->states.back()["update"];
    EXPECT_EQ(update["availableVersion"], "2.0.0");
    EXPECT_EQ(update["releaseNotesSummary"], "Faster exports.");
    EXPECT_EQ(update["feedConfigured"], true);

    EXPECT_EQ(value("updates.openDownload")["update"]["availableVersion"], "2.0.0");
    EXPECT_EQ(opened, std::vector<std::string>{"https://downloads.example/quillmer-2.0.0.deb"});
    EXPECT_EQ(error("updates.setEnabled", {"no"}), "That update-check value is not valid.");
    EXPECT_EQ(value("updates.setEnabled", {false})["update"]["enabled"], false);
    EXPECT_EQ(defaults.boolValue("ai.quillmer.updates.checkEnabled"), false);
}

}  // namespace
}  // namespace quillmer
