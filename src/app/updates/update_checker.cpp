#include "app/updates/update_checker.h"

#include "app/updates/release_version.h"
#include "app/updates/signed_release_feed.h"
#include "core/main_queue.h"
#include "platform/http_transport.h"
#include "platform/user_defaults.h"

namespace quillmer {

namespace {

constexpr const char* kCheckEnabledKey = "ai.quillmer.updates.checkEnabled";
constexpr const char* kLastCheckedAtKey = "ai.quillmer.updates.lastCheckedAt";
constexpr auto kCheckInterval = std::chrono::seconds(86400);
constexpr auto kRequestTimeout = std::chrono::seconds(60);
constexpr size_t kMaxFeedBytes = 256 * 1024;

}  // namespace

struct UpdateChecker::Outcome {
    std::optional<SignedReleaseFeed> feed;  // none: the check failed
};

UpdateChecker::UpdateChecker(UpdateCheckerDependencies dependencies) : dependencies_(std::move(dependencies)) {
    status_.enabled = dependencies_.defaults.boolValue(kCheckEnabledKey).value_or(true);
    status_.currentVersion = dependencies_.currentVersion.empty() ? "0.0.0" : dependencies_.currentVersion;
}

UpdateChecker::~UpdateChecker() { workers_.stopAndJoinAll(); }

bool UpdateChecker::feedConfigured() const {
    return !dependencies_.feed.feedURL.empty() && !dependencies_.feed.publicKeyBase64.empty() && dependencies_.http &&
           dependencies_.mainQueue;
}

void UpdateChecker::check(std::function<void()> done) {
    auto finish = [&done] {
        if (done) done();
    };
    if (!feedConfigured() || !status_.enabled || checking_) return finish();
    if (const auto last = dependencies_.defaults.dateValue(kLastCheckedAtKey)) {
        // A last check "in the future" means the clock was set back; waiting for it would stop checks.
        const auto elapsed = dependencies_.now() - *last;
        if (elapsed >= Timestamp::duration::zero() && elapsed < kCheckInterval) return finish();
    }
    checking_ = true;
    workers_.start([this, life = std::weak_ptr<int>(alive_), done = std::move(done)](std::stop_token) {
        Outcome outcome = fetchAndVerify();
        dependencies_.mainQueue->post([this, life, outcome = std::move(outcome), done] {
            if (!life.lock()) return;
            apply(outcome);
            if (done) done();
        });
    });
}

UpdateChecker::Outcome UpdateChecker::fetchAndVerify() const {
    HttpRequest request;
    request.url = dependencies_.feed.feedURL;
    request.headers = {{"User-Agent", "Quillmer"}, {"Accept", "application/json"}};
    request.timeout = kRequestTimeout;
    request.maxResponseBytes = kMaxFeedBytes;
    try {
        const HttpResponse response = dependencies_.http->get(request);
        if (response.status != 200) return {};
        return {verifySignedReleaseFeed(response.body, dependencies_.feed.publicKeyBase64, dependencies_.now())};
    } catch (const std::exception&) {
        return {};  // failures only mark the status; the next check is a day later
    }
}

void UpdateChecker::apply(const Outcome& outcome) {
    checking_ = false;
    status_.availableVersion.reset();
    status_.releaseNotesSummary.reset();
    verifiedDownloadURL_.reset();
    status_.lastCheckFailed = !outcome.feed;
    if (outcome.feed && isNewerVersion(outcome.feed->version, status_.currentVersion)) {
        status_.availableVersion = outcome.feed->version;
        status_.releaseNotesSummary = outcome.feed->notes;
        verifiedDownloadURL_ = outcome.feed->downloadURL;
    }
    const Timestamp now = dependencies_.now();
    status_.checkedAt = now;
    dependencies_.defaults.setDate(kLastCheckedAtKey, now);
}

void UpdateChecker::setEnabled(bool enabled) {
    dependencies_.defaults.setValue(kCheckEnabledKey, enabled);
    status_.enabled = enabled;
}

void UpdateChecker::openDownload() const {
    if (verifiedDownloadURL_ && dependencies_.openURL) dependencies_.openURL(*verifiedDownloadURL_);
}

Json UpdateChecker::stateJSON() const {
    Json state = {{"enabled", status_.enabled},
                  {"feedConfigured", feedConfigured()},
                  {"currentVersion", status_.currentVersion},
                  {"lastCheckFailed", status_.lastCheckFailed}};
    putJSON(state, "availableVersion", status_.availableVersion);
    putJSON(state, "releaseNotesSummary", status_.releaseNotesSummary);
    putJSON(state, "checkedAt", status_.checkedAt);
    return state;
}

UpdateFeedConfiguration UpdateFeedConfiguration::fromBuild() {
    return {QUILLMER_UPDATE_FEED_URL, QUILLMER_UPDATE_PUBLIC_KEY};
}

}  // namespace quillmer
