#include <atomic>

#include "cloud/cloud_session_sync.h"
#include "support/engine_test_fixture.h"
#include "support/test_sessions.h"

namespace quillmer::testing {
namespace {

// A relay with no meetings that counts the rounds asking for it and records deletes.
struct CountingRelay {
    std::atomic<int> rounds{0};
    std::mutex lock;
    std::vector<std::string> deleted;

    std::function<std::optional<CloudRelayAccess>()> access() {
        return [this] {
            ++rounds;
            CloudRelayAccess relay;
            relay.fetchList = [](std::stop_token) { return std::string(R"({"sessions":[]})"); };
            relay.remove = [this](const std::string& id, std::stop_token) {
                std::lock_guard guard(lock);
                deleted.push_back(id);
                return true;
            };
            return std::optional(relay);
        };
    }
};

TEST_F(EngineTest, PeriodicSyncRunsUnlessTheEnvironmentDisablesIt) {
    CountingRelay relay;
    cloudRelay = relay.access();
    periodicCloudSync = true;
    {
        ScopedEnvironment disabled("QUILLMER_DISABLE_CLOUD_SYNC", "1");
        await([&](auto done) { engine().syncCloudSessions(done); });
        EXPECT_EQ(relay.rounds, 1);  // only the round asked for
        EXPECT_TRUE(state().cloudSyncConfigured);
        EXPECT_TRUE(state().lastCloudSyncAt.has_value());
        destroyEngine();
    }
    ScopedEnvironment enabled("QUILLMER_DISABLE_CLOUD_SYNC", std::nullopt);
    engine();
    queue.runUntil([&] { return relay.rounds >= 2 && !state().isSyncingCloudSessions; });
}

TEST_F(EngineTest, DeletingACloudMeetingDeletesItOnTheRelayOnly) {
    CountingRelay relay;
    cloudRelay = relay.access();
    const auto cloud = recordedManifest(std::chrono::system_clock::now());
    const auto local = recordedManifest(std::chrono::system_clock::now());
    writeFileAtomically(writeTestSession(root / "Sessions", cloud) / kCloudOriginFileName, "c1");
    writeTestSession(root / "Sessions", local);

    engine().deleteSession(local.id.toString());
    engine().deleteSession(cloud.id.toString());
    queue.runUntil([&] {
        std::lock_guard guard(relay.lock);
        return !relay.deleted.empty();
    });
    EXPECT_EQ(relay.deleted, std::vector<std::string>{cloud.id.toString()});
    EXPECT_TRUE(state().recentSessions.empty());
}

}  // namespace
}  // namespace quillmer::testing
