#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/linux/posix_process_runner.h"
#include "platform/linux/secret_service_keyring.h"
#include "support/private_keyring.h"

namespace quillmer {
namespace {

// GLib keeps the first session bus of a process, closed or not: each case needs its own process,
// as CTest runs them (one --gtest_filter per case).
int32_t statusOf(const KeyringReadResult& result) {
    const auto* failure = std::get_if<KeyringFailure>(&result);
    return failure ? failure->status : 0;
}

class SecretServiceKeyringTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (auto reason = testing::PrivateKeyring::unavailableReason()) GTEST_SKIP() << *reason;
        keyring_ = std::make_unique<testing::PrivateKeyring>();
    }
    std::unique_ptr<testing::PrivateKeyring> keyring_;
    SecretServiceKeyring secrets_;
    const KeyringItem item_{"ai.quillmer.test", "account"};
};

TEST_F(SecretServiceKeyringTest, StoresReplacesAndRemovesOneItem) {
    EXPECT_EQ(statusOf(secrets_.read(item_, true)), kKeyringItemNotFound);
    ASSERT_EQ(secrets_.replace(item_, "first"), std::nullopt);
    ASSERT_EQ(secrets_.replace(item_, "second ünïcode"), std::nullopt);
    EXPECT_EQ(std::get<std::string>(secrets_.read(item_, true)), "second ünïcode");
    EXPECT_EQ(statusOf(secrets_.read({"ai.quillmer.test", "other"}, true)), kKeyringItemNotFound);
    EXPECT_EQ(secrets_.remove(item_), std::nullopt);
    EXPECT_EQ(secrets_.remove(item_)->status, kKeyringItemNotFound);  // only one was there
    EXPECT_EQ(statusOf(secrets_.read(item_, false)), kKeyringItemNotFound);
}

TEST_F(SecretServiceKeyringTest, NonInteractiveReadOfALockedKeyringFailsInsteadOfPrompting) {
    ASSERT_EQ(secrets_.replace(item_, "secret"), std::nullopt);
    const auto locked = PosixProcessRunner().run(
        {"/usr/bin/dbus-send",
         {"--bus=" + keyring_->busAddress(), "--reply-timeout=5000", "--print-reply", "--dest=org.freedesktop.secrets", "/org/freedesktop/secrets",
          "org.freedesktop.Secret.Service.Lock", "array:objpath:/org/freedesktop/secrets/collection/login"},
         std::nullopt,
         ""});
    ASSERT_TRUE(locked.succeeded()) << locked.standardError;
    // Every unlock request would be a prompt on a desktop: watch the bus for one.
    testing::TemporaryFolder folder;
    testing::BackgroundProcess monitor({"/usr/bin/dbus-monitor",
                                        {"--address", keyring_->busAddress(), "member='Unlock'"}, {}, folder / "bus.log"});
    for (int i = 0; i < 200 && monitor.log().empty(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(25));

    EXPECT_EQ(statusOf(secrets_.read(item_, true)), kKeyringInteractionNotAllowed);
    EXPECT_EQ(monitor.log().find("Unlock"), std::string::npos) << monitor.log();
    EXPECT_EQ(statusOf(secrets_.read(item_, false)), kKeyringUserCanceled);  // asked, and nobody could answer
    EXPECT_NE(monitor.log().find("Unlock"), std::string::npos);
}

TEST(SecretServiceUnreachableTest, EveryCallIsAFailureValue) {
    testing::ScopedEnvironment bus("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/quillmer-test-bus");
    testing::ScopedEnvironment display("DISPLAY", std::nullopt);
    SecretServiceKeyring secrets;
    const KeyringItem item{"ai.quillmer.test", "account"};
    EXPECT_EQ(statusOf(secrets.read(item, true)), kKeyringNotAvailable);
    EXPECT_EQ(statusOf(secrets.read(item, false)), kKeyringNotAvailable);
    EXPECT_EQ(secrets.replace(item, "secret")->status, kKeyringNotAvailable);
    EXPECT_EQ(secrets.remove(item)->status, kKeyringNotAvailable);
}

}  // namespace
}  // namespace quillmer
