#pragma once

#include <gtest/gtest.h>

#include <optional>

#include "support/private_sound_server.h"
#include "support/private_x_server.h"

namespace quillmer::testing {

// A test that runs against its own Xvfb and PulseAudio, started before each test and stopped
// after it (also when it fails). Skipped only when the server programs are not installed.
class PrivateCaptureServersTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (auto reason = PrivateXServer::unavailableReason()) GTEST_SKIP() << reason.value();
        if (auto reason = PrivateSoundServer::unavailableReason()) GTEST_SKIP() << reason.value();
        xServer.emplace();
        soundServer.emplace();
    }
    void TearDown() override {
        soundServer.reset();
        xServer.reset();
    }

    std::optional<PrivateXServer> xServer;
    std::optional<PrivateSoundServer> soundServer;
};

}  // namespace quillmer::testing
