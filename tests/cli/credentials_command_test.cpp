#include <gtest/gtest.h>

#include "cloud/device_credential.h"
#include "platform/linux/posix_process_runner.h"
#include "platform/linux/secret_service_keyring.h"
#include "support/private_keyring.h"

namespace quillmer {
namespace {

ProcessResult credentials(std::vector<std::string> arguments, std::string input = "") {
    arguments.insert(arguments.begin(), "credentials");
    return PosixProcessRunner().run({QUILLMER_CLI_PATH, std::move(arguments), std::nullopt, std::move(input)});
}

TEST(CredentialsCommandTest, SetReadsStandardInputStatusHidesValuesClearRemoves) {
    if (auto reason = testing::PrivateKeyring::unavailableReason()) GTEST_SKIP() << *reason;
    testing::PrivateKeyring keyring;
    testing::ScopedEnvironment token("QUILLMER_RTMS_TOKEN", std::nullopt);

    EXPECT_EQ(credentials({"set", "relay"}, "  qm1_relay-secret\n").exitStatus, 0);
    EXPECT_EQ(credentials({"set", "gemini"}, "gemini-secret\n").exitStatus, 0);
    // The entries the relay and the analysis read, trimmed.
    SecretServiceKeyring secrets;
    EXPECT_EQ(std::get<std::string>(secrets.read(kRelayDeviceCredentialItem, true)), "qm1_relay-secret");
    EXPECT_EQ(std::get<std::string>(secrets.read(kGeminiDevelopmentKeyItem, true)), "gemini-secret");

    const auto status = credentials({"status"});
    EXPECT_EQ(status.exitStatus, 0);
    EXPECT_NE(status.standardOutput.find("relay       stored in the keyring\n"), std::string::npos) << status.standardOutput;
    EXPECT_NE(status.standardOutput.find("gemini      stored in the keyring\n"), std::string::npos);
    EXPECT_NE(status.standardOutput.find("elevenlabs  not set\n"), std::string::npos);
    EXPECT_EQ(status.standardOutput.find("secret"), std::string::npos);

    EXPECT_EQ(credentials({"clear", "gemini"}).exitStatus, 0);
    EXPECT_EQ(std::get<KeyringFailure>(secrets.read(kGeminiDevelopmentKeyItem, false)).status, kKeyringItemNotFound);
    EXPECT_NE(credentials({"status"}).standardOutput.find("gemini      not set\n"), std::string::npos);

    // Refused without touching the stored credential: a secret as an argument, no secret, no prefix.
    const auto argument = credentials({"set", "relay", "qm1_argument"}, "qm1_input");
    EXPECT_EQ(argument.exitStatus, 2);
    EXPECT_EQ(credentials({"set", "elevenlabs"}, " \n").exitStatus, 1);
    const auto unprefixed = credentials({"set", "relay"}, "relay-token");
    EXPECT_EQ(unprefixed.standardError, "quillmer: A relay credential begins with qm1_; nothing was stored.\n");
    EXPECT_EQ(std::get<std::string>(secrets.read(kRelayDeviceCredentialItem, false)), "qm1_relay-secret");
}

}  // namespace
}  // namespace quillmer
