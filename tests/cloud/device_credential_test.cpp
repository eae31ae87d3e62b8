#include <gtest/gtest.h>

#include "cloud/cloud_session_sync_error.h"
#include "cloud/device_credential.h"
#include "support/fake_keyring.h"

namespace quillmer {
namespace {

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
