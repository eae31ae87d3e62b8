// Cloud meetings in the engine: the sync round, the periodic loop, connecting Zoom and deleting a
// cloud meeting on the relay when it is deleted here.
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "engine/capture_engine.h"

namespace quillmer {

namespace {

constexpr std::chrono::seconds kCloudSyncInterval{30};

std::string messageOf(std::exception_ptr failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const std::exception& error) {
        return error.what();
    }
}

}  // namespace

void CaptureEngine::syncCloudSessions(Completion done) {
    if (done) cloudSyncCompletions_.push_back(std::move(done));
    if (state_.isSyncingCloudSessions) return;
    update([](CaptureEngineState& s) { s.isSyncingCloudSessions = true; });
    auto imported = std::make_shared<std::optional<int>>();
    runOffMain(
        [this, imported](std::stop_token stop) {
            const auto relay = dependencies_.cloudRelay();
            if (!relay) return;
            *imported = CloudSessionSync(dependencies_.sessionsRoot(), dependencies_.exportsRoot(), *relay).sync(stop);
        },
        [this, imported](std::exception_ptr failure) {
            const bool configured = imported->has_value() || failure;
            update([&](CaptureEngineState& s) {
                s.isSyncingCloudSessions = false;
                s.cloudSyncConfigured = configured;
                if (!configured) return;
                s.lastCloudSyncAt = std::chrono::system_clock::now();
                s.lastCloudImportCount = imported->value_or(0);
                s.cloudSyncErrorMessage = failure ? std::optional(messageOf(failure)) : std::nullopt;
            });
            if (imported->value_or(0) > 0) refreshRecentSessions();
            for (auto& completion : std::exchange(cloudSyncCompletions_, {})) completion();
        });
}

void CaptureEngine::connectCloud() {
    if (!dependencies_.zoom)
        throw ZoomCloudConnectionError::make(ZoomCloudConnectionErrorCase::relayNotConfigured);
    dependencies_.zoom->startConnection();
}

void CaptureEngine::handleCloudCallback(const std::string& url, Completion done) {
    const auto zoom = dependencies_.zoom;
    if (!zoom) {
        if (done) done();
        return;
    }
    runOffMain([zoom, url](std::stop_token stop) { zoom->handleCallback(url, stop); },
               [this, done](std::exception_ptr failure) {
                   if (!failure) return syncCloudSessions(done);
                   update([&](CaptureEngineState& s) { s.cloudSyncErrorMessage = messageOf(failure); });
                   if (done) done();
               });
}

void CaptureEngine::deleteOnRelay(const std::string& sessionID) {
    auto relay = dependencies_.cloudRelay;
    runOffMain(
        [relay, sessionID](std::stop_token stop) {
            if (const auto access = relay()) access->remove(sessionID, stop);
        },
        [this](std::exception_ptr failure) {
            if (failure) update([&](CaptureEngineState& s) { s.cloudSyncErrorMessage = messageOf(failure); });
        });
}

void CaptureEngine::startPeriodicCloudSync() {
    workers_.start([this](std::stop_token stop) {
        std::mutex lock;
        std::condition_variable_any wake;
        std::unique_lock guard(lock);
        while (!stop.stop_requested()) {
            postToMain([this] { syncCloudSessions(); });
            wake.wait_for(guard, stop, kCloudSyncInterval, [] { return false; });
        }
    });
}

}  // namespace quillmer
