#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "core/iso8601.h"
#include "core/json.h"
#include "core/worker_threads.h"

namespace quillmer {

class HttpTransport;
class MainQueue;
class UserDefaults;

// Where the signed release feed is and the key it is signed with; both empty in a normal build.
struct UpdateFeedConfiguration {
    std::string feedURL;
    std::string publicKeyBase64;

    // The build's own configuration (the CMake options QUILLMER_UPDATE_FEED_URL and
    // QUILLMER_UPDATE_PUBLIC_KEY).
    static UpdateFeedConfiguration fromBuild();
};

struct UpdateStatus {
    bool enabled = true;
    std::string currentVersion;
    std::optional<std::string> availableVersion;
    std::optional<std::string> releaseNotesSummary;
    std::optional<Timestamp> checkedAt;
    bool lastCheckFailed = false;
};

struct UpdateCheckerDependencies {
    UserDefaults& defaults;
    UpdateFeedConfiguration feed;
    std::string currentVersion;
    // Both needed for a request; without them the feed counts as not configured.
    HttpTransport* http = nullptr;
    MainQueue* mainQueue = nullptr;
    // Opens an address in the user's browser.
    std::function<void(const std::string& url)> openURL;
    std::function<Timestamp()> now = [] { return std::chrono::system_clock::now(); };
};

// Looks, at most once a day, for a newer release in the signed feed and remembers a verified
// download address; it never downloads anything itself.
//
//     UpdateChecker updates({defaults, UpdateFeedConfiguration::fromBuild(), quillmerVersion(), &http, &queue, open});
//     updates.check([&] { page.show(updates.stateJSON()); });
//
// Threading: construct, call and destroy it on the main thread. The request runs on a worker
// thread; its result is applied, and `done` called, on the main thread.
class UpdateChecker {
public:
    explicit UpdateChecker(UpdateCheckerDependencies dependencies);
    ~UpdateChecker();
    UpdateChecker(const UpdateChecker&) = delete;
    UpdateChecker& operator=(const UpdateChecker&) = delete;

    // Requests the feed when one is configured, checks are on, none is running and the last
    // one is a day old; `done` is called once either way (at once when nothing is requested).
    void check(std::function<void()> done = {});

    void setEnabled(bool enabled);
    // Opens the download address of a verified newer release; nothing without one.
    void openDownload() const;

    bool feedConfigured() const;
    const UpdateStatus& status() const { return status_; }
    // What the page shows: enabled, feedConfigured, currentVersion, lastCheckFailed and, when
    // known, availableVersion, releaseNotesSummary and checkedAt.
    Json stateJSON() const;

private:
    struct Outcome;
    Outcome fetchAndVerify() const;
    void apply(const Outcome& outcome);

    UpdateCheckerDependencies dependencies_;
    UpdateStatus status_;
    std::optional<std::string> verifiedDownloadURL_;
    bool checking_ = false;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
    WorkerThreads workers_;  // last: joined before the rest goes
};

}  // namespace quillmer
