#include <gtest/gtest.h>

#include "cloud/cloud_session_sync_error.h"
#include "cloud/device_credential.h"
#include "cloud/relay_endpoint.h"
#include "cloud/relay_routes.h"
#include "support/fake_keyring.h"

namespace quillmer {
namespace {

TEST(RelayEndpointTest, OriginRule) {
    const std::pair<std::string, bool> cases[] = {
        {"HTTPS://Relay.Example.com:8443/base", true},
        {"http://LOCALHOST:8080", true},
        {"http://127.0.0.1:9", true},
        {"http://[::1]:9000", true},
        {"http://192.168.1.20:8080", false},  // plain http off this computer
        {"http://127.0.0.1.evil.example", false},
        {"http://localhost@evil.example", false},
        {"ftp://relay.example.com", false},
        {"https://", false},
        {"https://relay.example.com/?next=1", false},  // routes are appended to the path
    };
    for (const auto& [text, accepted] : cases) EXPECT_EQ(validatedOrigin(text).has_value(), accepted) << text;
}

TEST(RelayEndpointTest, ResolutionPrefersTheEnvironmentAndNeverFallsBack) {
    const RelayEndpointConfiguration release{false, "https://prod.example", "https://dev.example"};
    const RelayEndpointConfiguration development{true, "https://prod.example", "https://dev.example"};
    struct Case {
        std::optional<std::string> variable;
        RelayEndpointConfiguration configuration;
        std::optional<std::string> origin;
    } cases[] = {
        {std::nullopt, release, "https://prod.example"},
        {std::nullopt, development, "https://dev.example"},
        {std::nullopt, RelayEndpointConfiguration{false, std::nullopt, "https://dev.example"}, std::nullopt},
        {" \n\t", release, "https://prod.example"},  // blank is unset
        {" http://127.0.0.1:9 \n", release, "http://127.0.0.1:9"},
        {"http://10.0.0.1", release, std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(resolveEndpoint({c.variable, std::nullopt}, c.configuration), c.origin) << c.variable.value_or("unset");

    // This build is configured with no relay at all.
    EXPECT_EQ(resolveEndpoint({}, RelayEndpointConfiguration::ofThisBuild()), std::nullopt);
    EXPECT_EQ(configurationProblem({}),
              "This build has no production relay host configured, and a release build never falls back to the "
              "development relay.");
    EXPECT_EQ(configurationProblem({"http://10.0.0.1", std::nullopt}),
              "QUILLMER_RTMS_URL is not a usable https origin (plain http is accepted only for 127.0.0.1, ::1 or "
              "localhost).");
}

TEST(RelayRoutesTest, UrlsAndHeaders) {
    EXPECT_EQ(relayURL("https://r.example/", relay_routes::evidenceCandidate),
              "https://r.example/analysis/evidence-candidate");
    EXPECT_EQ(relayURL("http://127.0.0.1:8/base", relay_routes::sessionFile, {"a b", "frames/x#1.png"}),
              "http://127.0.0.1:8/base/sessions/a%20b/files/frames/x%231.png");
    for (const auto& arguments : {std::vector<std::string_view>{"id", "../secret"}, {"id", "frames//x"}, {"", "x"}})
        EXPECT_THROW(relayURL("https://r.example", relay_routes::sessionFile, {arguments[0], arguments[1]}),
                     RelayRouteError);
    EXPECT_THROW(relayURL("https://r.example", relay_routes::deleteSession), RelayRouteError);

    EXPECT_EQ(relayHeaders(relay_routes::sessions, "qm1_t"),
              (std::vector<std::pair<std::string, std::string>>{{"Authorization", "Bearer qm1_t"},
                                                                {"Accept", "application/json"}}));
    EXPECT_EQ(relayHeaders(relay_routes::exchange, "qm1_t").size(), 1u);  // no credential on the exchange
}

TEST(DeviceCredentialTest, EnvironmentThenKeyringThenNothing) {
    struct Case {
        std::optional<std::string> variable;
        std::optional<std::string> stored;
        std::optional<std::string> credential;
    } cases[] = {
        {" qm1_env\n", "qm1_stored", "qm1_env"},
        {"not-a-credential", " qm1_stored\n", "qm1_stored"},
        {std::nullopt, "stored-without-prefix", std::nullopt},
        {std::nullopt, std::nullopt, std::nullopt},
    };
    for (const auto& c : cases) {
        testing::FakeKeyring keyring;
        if (c.stored) keyring.items[kRelayDeviceCredentialItem] = *c.stored;
        ProcessCredentialCache cache(keyring);
        EXPECT_EQ(deviceCredential({std::nullopt, c.variable}, true, cache), c.credential);
    }
    testing::FakeKeyring unreachable;
    unreachable.failure = KeyringFailure{kKeyringNotAvailable, "no bus"};
    ProcessCredentialCache cache(unreachable);
    EXPECT_EQ(deviceCredential({}, true, cache), std::nullopt);
}

TEST(DeviceCredentialTest, CacheAsksTheKeyringOnlyWhenItMust) {
    testing::FakeKeyring keyring;
    ProcessCredentialCache cache(keyring);
    EXPECT_EQ(deviceCredential({}, true, cache), std::nullopt);
    EXPECT_EQ(deviceCredential({}, true, cache), std::nullopt);
    EXPECT_EQ(keyring.reads, 1);  // a cached failure answers non-interactive reads
    keyring.items[kRelayDeviceCredentialItem] = "qm1_later";
    EXPECT_EQ(deviceCredential({}, false, cache), "qm1_later");  // an interactive read asks again
    EXPECT_EQ(keyring.reads, 2);

    // Storing replaces the cached entry: the next read needs no keyring.
    storeDeviceCredential("  qm1_connected\n", cache);
    EXPECT_EQ(keyring.items[kRelayDeviceCredentialItem], "qm1_connected");
    EXPECT_EQ(deviceCredential({}, false, cache), "qm1_connected");
    EXPECT_EQ(keyring.reads, 2);

    EXPECT_THROW(storeDeviceCredential("token", cache), CloudSessionSyncError);
    keyring.failure = KeyringFailure{kKeyringNotAvailable, ""};
    EXPECT_THROW(storeDeviceCredential("qm1_new", cache), CloudSessionSyncError);
    EXPECT_EQ(deviceCredential({}, true, cache), std::nullopt);  // a failed store is not remembered as stored
}

}  // namespace
}  // namespace quillmer
