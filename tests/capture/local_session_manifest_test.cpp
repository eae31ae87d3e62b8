// The manifest, its file, and the repository snapshot stored in it.
#include "capture/local_session_manifest.h"

#include <gtest/gtest.h>

#include "capture/session_folder.h"
#include "core/atomic_file.h"
#include "platform/linux/posix_process_runner.h"
#include "support/temporary_folder.h"

namespace quillmer::testing {
namespace {

LocalSessionManifest freshManifest() {
    LocalSessionManifest m;
    m.id = *Uuid::parse("6f1c2a3b-0d4e-4f5a-9b6c-7d8e9f0a1b2c");
    m.createdAt = *parseISO8601("2026-05-04T09:30:12Z");
    m.displayID = 69733248, m.width = 1512, m.height = 982, m.videoFile = "screen.mp4";
    return m;
}

// A fresh manifest has only its required keys (never null) and an upper-case id; a full one comes
// back whole.
TEST(LocalSessionManifest, EncodesOnlyPresentKeysAndRoundTrips) {
    const Json fresh = freshManifest().toJSON();
    std::vector<std::string> keys;
    for (const auto& [key, value] : fresh.items()) keys.push_back(key);
    EXPECT_EQ(keys, (std::vector<std::string>{"createdAt", "displayID", "height", "id", "schemaVersion", "videoFile",
                                              "videoFrameCount", "width"}));
    EXPECT_EQ(std::tie(fresh["createdAt"], fresh["id"]),
              std::make_tuple(Json("2026-05-04T09:30:12Z"), Json("6F1C2A3B-0D4E-4F5A-9B6C-7D8E9F0A1B2C")));

    LocalSessionManifest m = freshManifest();
    m.firstVideoPTSSeconds = 1000.25, m.lastVideoPTSSeconds = 1060.5, m.videoFrameCount = 1800;
    m.systemAudioFile = "system-audio.m4a", m.systemAudioFirstPTSSeconds = 1000.3;
    m.microphoneAudioFile = "microphone.m4a", m.microphoneAudioFirstPTSSeconds = 1000.4;
    m.transcriptFile = "transcript.json", m.candidateFile = "evidence-candidates.json";
    m.endedAt = *parseISO8601("2026-05-04T09:31:12Z");
    m.repository = RepositorySnapshot{"/home/dev/app", "0123456789abcdef0123456789abcdef01234567", "main"};
    m.sourceMediaFingerprint = std::string(64, 'a');
    EXPECT_EQ(LocalSessionManifest::fromJSON(parseJSON(encodeJSON(m.toJSON()))), m);
}

TEST(LocalSessionManifest, DecodingRefusesMissingRequiredKeysAndAcceptsFractionsNullsAndNewKeys) {
    const Json valid = freshManifest().toJSON();
    std::vector<Json> damaged = {valid, valid};
    damaged[0]["repository"] = {{"rootPath", "/x"}};  // gitSHA missing
    damaged[1]["id"] = "not-a-uuid";
    for (const char* key : {"schemaVersion", "id", "createdAt", "displayID", "width", "height", "videoFrameCount", "videoFile"})
        damaged.push_back(valid), damaged.back().erase(key);
    for (const auto& json : damaged) EXPECT_THROW(LocalSessionManifest::fromJSON(json), DecodingError) << json.dump();

    Json json = valid;
    json["createdAt"] = "2026-05-04T09:30:12.345Z";
    json["transcriptFile"] = nullptr;
    json["unknownFutureKey"] = 1;
    const auto m = LocalSessionManifest::fromJSON(json);
    EXPECT_EQ(m.transcriptFile, std::nullopt);
    EXPECT_EQ(formatISO8601(m.createdAt), "2026-05-04T09:30:12Z");
}

TEST(ManifestFile, UpdateChangesOneFieldAndLeavesAnUnreadableFileAlone) {
    ScopedDataHome home;
    EXPECT_EQ(sessionsRoot(), home.path() / "data" / "Quillmer" / "Sessions");
    const LocalSessionManifest m = freshManifest();
    const auto folder = createSessionFolder(sessionsRoot(), m.id);
    EXPECT_EQ(folder.filename(), "6F1C2A3B-0D4E-4F5A-9B6C-7D8E9F0A1B2C");
    EXPECT_THROW(readManifest(folder), FileSystemError);
    writeManifest(folder, m);
    LocalSessionManifest expected = m;
    expected.transcriptFile = "transcript.json";
    EXPECT_EQ(updateManifest(folder, [](LocalSessionManifest& s) { s.transcriptFile = kTranscriptFileName; }), expected);
    EXPECT_EQ(readManifest(folder), expected);

    writeTestFile(folder / "session.json", "{\"id\": 1}");
    EXPECT_THROW(updateManifest(folder, [](LocalSessionManifest&) {}), DecodingError);
    EXPECT_EQ(readWholeFile(folder / "session.json"), "{\"id\": 1}");
}

class RepositorySnapshotTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::filesystem::exists("/usr/bin/git")) GTEST_SKIP() << "/usr/bin/git is not installed";
    }

    // Runs git in the test repository; the commit identity is fixed so no global config is needed.
    std::string git(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), {"-C", repository.path().string(), "-c", "user.name=T", "-c", "user.email=t@t"});
        const auto result = runner.run({"/usr/bin/git", arguments, std::nullopt, ""});
        EXPECT_TRUE(result.succeeded()) << result.standardError;
        return result.standardOutput.substr(0, result.standardOutput.find('\n'));
    }

    PosixProcessRunner runner;
    TemporaryFolder repository;
};

TEST_F(RepositorySnapshotTest, RecordsRootCommitAndBranchButNoBranchForADetachedHeadAndPrefersTheEnvironment) {
    EXPECT_EQ(RepositorySnapshot::at(repository.path(), runner), std::nullopt);
    EXPECT_EQ(RepositorySnapshot::at(repository / "does-not-exist", runner), std::nullopt);
    git({"init", "-q", "-b", "feature/header"});
    EXPECT_EQ(RepositorySnapshot::at(repository.path(), runner), std::nullopt) << "HEAD names no commit yet";
    git({"commit", "-q", "--allow-empty", "-m", "first"});
    std::filesystem::create_directories(repository / "src" / "deep");
    const auto snapshot = RepositorySnapshot::at(repository / "src" / "deep", runner);
    ASSERT_TRUE(snapshot);
    EXPECT_EQ(snapshot->rootPath, std::filesystem::canonical(repository.path()).string());
    EXPECT_EQ(snapshot->gitSHA, git({"rev-parse", "HEAD"}));
    EXPECT_EQ(snapshot->gitSHA.size(), 40u);
    EXPECT_EQ(snapshot->branch, "feature/header");

    git({"checkout", "-q", "--detach"});
    const auto detached = RepositorySnapshot::at(repository.path(), runner);
    ASSERT_TRUE(detached);
    EXPECT_EQ(detached->gitSHA, snapshot->gitSHA);
    EXPECT_FALSE(detached->toJSON().contains("branch"));

    // The environment wins over the working directory.
    git({"checkout", "-q", "feature/header"});
    TemporaryFolder elsewhere;
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(elsewhere.path());
    {
        ScopedEnvironment unset("QUILLMER_REPOSITORY_PATH", std::nullopt);
        EXPECT_EQ(RepositorySnapshot::current(runner), std::nullopt);
    }
    ScopedEnvironment set("QUILLMER_REPOSITORY_PATH", repository.path().string());
    EXPECT_EQ(RepositorySnapshot::current(runner).value().branch, "feature/header");
    std::filesystem::current_path(previous);
}

}  // namespace
}  // namespace quillmer::testing
