#include "cloud/cloud_session_sync.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>

#include "capture/local_session_manifest.h"
#include "capture/session_folder.h"
#include "capture/session_progress_files.h"
#include "cloud/cloud_session_sync_error.h"
#include "cloud/device_credential.h"
#include "cloud/relay_routes.h"
#include "core/ascii_case.h"
#include "core/atomic_file.h"
#include "core/json.h"
#include "core/safe_path.h"
#include "core/sha256.h"
#include "core/uuid.h"
#include "evidence/evidence_bundle_document.h"

namespace quillmer {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kStagingSuffix = ".syncing";

HttpResponse sendToRelay(HttpTransport& http, const CloudSyncConfiguration& configuration, const RelayRoute& route,
                         std::initializer_list<std::string_view> arguments, std::stop_token stop) {
    HttpRequest request;
    request.method = route.method == RelayMethod::del ? "DELETE" : "GET";
    try {
        request.url = relayURL(configuration.endpoint, route, arguments);
    } catch (const RelayRouteError&) {
        throw CloudSessionSyncError::unsafePath();
    }
    request.headers = relayHeaders(route, configuration.token);
    request.timeout = route.timeout;
    request.maxResponseBytes = kCloudArtifactByteLimit;
    try {
        return http.send(request, stop);
    } catch (const HttpTransportError& error) {
        if (error.kind() == HttpTransportError::Kind::responseTooLarge) throw CloudSessionSyncError::fileTooLarge();
        throw CloudSessionSyncError::requestFailed(std::nullopt);
    }
}

std::string okBody(HttpResponse response, const RelayRoute& route) {
    if (!isRelaySuccess(route, response.status)) throw CloudSessionSyncError::requestFailed(response.status);
    if (response.body.size() > kCloudArtifactByteLimit) throw CloudSessionSyncError::fileTooLarge();
    return std::move(response.body);
}

struct CloudSession {
    std::string id;
    std::string sessionID;
    bool stopped = false;
};

std::vector<CloudSession> decodeSessionList(const std::string& body) {
    std::vector<CloudSession> sessions;
    try {
        const Json list = parseJSON(body);
        JsonObjectReader(list, "SessionList");  // refuses anything but an object
        const auto entries = list.find("sessions");
        if (entries == list.end() || !entries->is_array()) throw DecodingError("The session list has no sessions.");
        for (const auto& entry : *entries) {
            JsonObjectReader reader(entry, "CloudSession");
            reader.required<std::string>("startedAt");
            sessions.push_back({reader.required<std::string>("id"), reader.required<std::string>("sessionID"),
                                reader.optional<std::string>("stoppedAt").has_value()});
        }
    } catch (const DecodingError&) {
        throw;
    } catch (const Error& error) {
        throw DecodingError(error.what());
    }
    return sessions;
}

// Takes the staging folder's lock without waiting: false while the process filling it is alive.
bool isAbandoned(const fs::path& folder) {
    const int descriptor = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0) return false;
    const bool unlocked = ::flock(descriptor, LOCK_EX | LOCK_NB) == 0;
    ::close(descriptor);
    return unlocked;
}

void removeLeftoverStaging(const fs::path& root) {
    std::error_code error;
    for (fs::directory_iterator it(root, error), end; !error && it != end; it.increment(error)) {
        const auto name = it->path().filename().string();
        if (name.starts_with(".") && name.ends_with(kStagingSuffix) && it->is_directory(error) &&
            isAbandoned(it->path())) {
            std::error_code ignored;
            fs::remove_all(it->path(), ignored);
        }
    }
}

// A staging folder of one sync, removed unless it was moved into place.
class StagingFolder {
public:
    StagingFolder(const fs::path& root, const std::string& name)
        : path_(root / ("." + name + "." + Uuid::random().toString() + std::string(kStagingSuffix))) {
        fs::create_directories(path_);
        lock_.emplace(path_);
    }
    ~StagingFolder() {
        lock_.reset();
        if (!moved_) {
            std::error_code ignored;
            fs::remove_all(path_, ignored);
        }
    }
    const fs::path& path() const { return path_; }
    void moveTo(const fs::path& destination) {
        std::error_code error;
        fs::rename(path_, destination, error);
        if (error) throw FileSystemError("Quillmer could not move a cloud meeting into place.", error);
        moved_ = true;
        lock_.reset();
    }

private:
    fs::path path_;
    std::optional<SessionFolderLock> lock_;
    bool moved_ = false;
};

}  // namespace

std::optional<CloudSyncConfiguration> CloudSyncConfiguration::make(const RelayEnvironment& environment,
                                                                   const std::function<void(const std::string&)>& log,
                                                                   ProcessCredentialCache& cache) {
    auto token = deviceCredential(environment, true, cache);
    if (!token) return std::nullopt;
    auto endpoint = resolveEndpoint(environment, RelayEndpointConfiguration::ofThisBuild());
    if (!endpoint) {
        if (log) log("[Quillmer] Cloud session sync is disabled: " + configurationProblem(environment));
        return std::nullopt;
    }
    return CloudSyncConfiguration{std::move(*endpoint), std::move(*token)};
}

CloudRelayAccess relayAccess(HttpTransport& http, CloudSyncConfiguration configuration) {
    CloudRelayAccess access;
    access.fetchList = [&http, configuration](std::stop_token stop) {
        return okBody(sendToRelay(http, configuration, relay_routes::sessions, {}, stop), relay_routes::sessions);
    };
    access.fetchFile = [&http, configuration](const std::string& cloudID, const std::string& artifact,
                                              std::stop_token stop) {
        return okBody(sendToRelay(http, configuration, relay_routes::sessionFile, {cloudID, artifact}, stop),
                      relay_routes::sessionFile);
    };
    access.remove = [&http, configuration](const std::string& sessionID, std::stop_token stop) {
        const auto response = sendToRelay(http, configuration, relay_routes::deleteSession, {sessionID}, stop);
        if (!isRelaySuccess(relay_routes::deleteSession, response.status))
            throw CloudSessionSyncError::requestFailed(response.status);
        return response.status == 200;
    };
    return access;
}

bool matchesDeclaredArtifact(const std::string& bytes, int64_t byteCount, const std::string& sha256) {
    if (byteCount < 0 || bytes.size() != static_cast<uint64_t>(byteCount)) return false;
    const auto actual = sha256Hex(bytes);
    return actual == asciiLowercased(sha256);
}

CloudSessionSync::CloudSessionSync(fs::path sessionsRoot, fs::path exportsRoot, CloudRelayAccess relay)
    : sessionsRoot_(std::move(sessionsRoot)), exportsRoot_(std::move(exportsRoot)), relay_(std::move(relay)) {}

int CloudSessionSync::sync(std::stop_token stop, const std::function<void(const std::string&)>& progress) {
    const auto say = [&](const std::string& line) {
        if (progress) progress(line);
    };
    fs::create_directories(sessionsRoot_);
    fs::create_directories(exportsRoot_);
    removeLeftoverStaging(sessionsRoot_);
    removeLeftoverStaging(exportsRoot_);

    say("Checking the relay for cloud meetings…");
    const auto sessions = decodeSessionList(relay_.fetchList(stop));
    int imported = 0;
    for (const auto& cloud : sessions) {
        const auto id = Uuid::parse(cloud.sessionID);
        if (!id) throw CloudSessionSyncError::invalidSession();
        const auto name = id->toString();
        const auto sessionFolder = sessionsRoot_ / name;
        const auto exportFolder = exportsRoot_ / name;
        if (fs::exists(sessionFolder / kSessionManifestFileName) && fs::exists(exportFolder / kEvidenceFileName)) {
            relay_.remove(cloud.sessionID, stop);
            continue;
        }
        if (!cloud.stopped) continue;  // still being recorded; a later round takes it whole

        say("Downloading cloud meeting " + name + "…");
        const auto fetch = [&](const std::string& artifact) { return relay_.fetchFile(cloud.id, artifact, stop); };
        const auto manifestBytes = fetch(kSessionManifestFileName);
        if (LocalSessionManifest::fromJSON(parseJSON(manifestBytes)).id != *id)
            throw CloudSessionSyncError::invalidSession();
        const auto transcript = fetch(kTranscriptFileName);
        const auto candidates = fetch(kCandidateFileName);
        const auto evidenceBytes = fetch(kEvidenceFileName);
        const auto evidence = EvidenceBundleDocument::fromJSON(parseJSON(evidenceBytes));
        if (evidence.session.id != *id) throw CloudSessionSyncError::invalidSession();

        StagingFolder sessionStaging(sessionsRoot_, name);
        StagingFolder exportStaging(exportsRoot_, name);
        writeFileAtomically(sessionStaging.path() / kSessionManifestFileName, manifestBytes);
        writeFileAtomically(sessionStaging.path() / kCloudOriginFileName, cloud.id);
        writeFileAtomically(sessionStaging.path() / kTranscriptFileName, transcript);
        writeFileAtomically(sessionStaging.path() / kCandidateFileName, candidates);
        writeFileAtomically(exportStaging.path() / kEvidenceFileName, evidenceBytes);
        writeFileAtomically(exportStaging.path() / kTranscriptFileName, transcript);
        for (const auto& candidate : evidence.candidates) {
            for (const auto& frame : candidate.frames) {
                // Frames live under frames/, so a frame can never stand in for the bundle's own files.
                const auto destination = frame.path.starts_with("frames/")
                                             ? resolveInside(exportStaging.path(), frame.path)
                                             : std::nullopt;
                if (!destination) throw CloudSessionSyncError::unsafePath();
                const auto bytes = fetch(frame.path);
                if (!matchesDeclaredArtifact(bytes, frame.byteCount, frame.sha256))
                    throw CloudSessionSyncError::integrityFailure();
                fs::create_directories(destination->parent_path());
                writeFileAtomically(*destination, bytes);
            }
        }
        // The export first: the session folder appearing is what makes the meeting visible.
        exportStaging.moveTo(exportFolder);
        sessionStaging.moveTo(sessionFolder);
        ++imported;
        relay_.remove(cloud.sessionID, stop);
    }
    say("Imported " + std::to_string(imported) + (imported == 1 ? " cloud meeting." : " cloud meetings."));
    return imported;
}

}  // namespace quillmer
