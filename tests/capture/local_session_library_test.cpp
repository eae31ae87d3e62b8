#include "capture/local_session_library.h"

#include <gtest/gtest.h>

#include <chrono>

#include "capture/session_folder.h"
#include "support/recording_trash.h"
#include "support/temporary_folder.h"
#include "support/test_sessions.h"

namespace quillmer {
namespace {

using namespace std::chrono_literals;
using testing::candidatesJSON;
using testing::RecordingTrash;
using testing::TemporaryFolder;
using testing::writeTestFile;

const Timestamp kBase = *parseISO8601("2026-05-04T09:30:12Z");

std::string feedbackJSON(int count) {
    Json items = Json::array();
    for (int i = 0; i < count; ++i)
        items.push_back({{"id", Uuid::random().toString()},
                         {"candidateID", Uuid::random().toString()},
                         {"component", "Header"},
                         {"observed", "small"},
                         {"requestedChange", "bigger"},
                         {"quote", "make this bigger"},
                         {"confidence", 0.8},
                         {"evidenceFramePaths", {"frames/a.png"}}});
    return encodeJSON({{"schemaVersion", 2}, {"provider", "gemini"}, {"model", "m"}, {"createdAt", "2026-05-04T10:00:00Z"},
                       {"items", items}});
}

std::string diagnosticsJSON(int count) {
    Json list = Json::array();
    for (int i = 0; i < count; ++i)
        list.push_back({{"id", Uuid::random().toString()}, {"candidateID", Uuid::random().toString()}, {"message", "timed out"}});
    return encodeJSON(list);
}

// Stage output a test folder should carry; absent members mean the stage has not run.
struct Progress {
    std::optional<int> transcriptSegments = std::nullopt;
    std::optional<int> candidates = std::nullopt;
    bool exported = false;
    std::optional<int> feedback = std::nullopt;
    std::optional<int> unfinished = std::nullopt;
    bool brief = false;
};

class LocalSessionLibraryTest : public ::testing::Test {
protected:
    std::filesystem::path sessions() const { return root_ / "Sessions"; }
    std::filesystem::path exports() const { return root_ / "Exports"; }

    LocalSessionManifest makeSession(Timestamp createdAt, const Progress& progress = {},
                                     std::optional<std::string> fingerprint = std::nullopt) {
        auto manifest = testing::recordedManifest(createdAt);
        manifest.sourceMediaFingerprint = std::move(fingerprint);
        const auto folder = testing::writeTestSession(sessions(), manifest);
        if (progress.transcriptSegments) {
            storeTranscript(folder, manifest,
                            testing::transcriptSaying(std::vector<std::string>(*progress.transcriptSegments, "words")));
            manifest = readManifest(folder);
        }
        if (progress.candidates) {
            writeTestFile(folder / kCandidateFileName, candidatesJSON(*progress.candidates));
            manifest = updateManifest(folder, [](auto& m) { m.candidateFile = kCandidateFileName; });
        }
        const auto exportFolder = exports() / manifest.id.toString();
        if (progress.exported) writeTestFile(exportFolder / "evidence.json", "{}");
        if (progress.feedback) writeTestFile(exportFolder / "feedback.json", feedbackJSON(*progress.feedback));
        if (progress.unfinished) writeTestFile(exportFolder / "analysis-diagnostics.json", diagnosticsJSON(*progress.unfinished));
        if (progress.brief) writeTestFile(exportFolder / "implementation-brief.md", "# Brief\n");
        return manifest;
    }

    RecoverableLocalSession load(const LocalSessionManifest& manifest) const {
        auto session = library.session(manifest.id.toString());
        if (!session) throw std::runtime_error("session did not load");
        return *session;
    }

    std::vector<std::string> uniqueIDs() const {
        std::vector<std::string> ids;
        for (const auto& session : library.uniqueSessions()) ids.push_back(session.manifest.id.toString());
        return ids;
    }

    TemporaryFolder temporary_;
    std::filesystem::path root_ = temporary_.path();
    RecordingTrash trash;
    LocalSessionLibrary library{trash, sessions(), exports()};
};

// What is not clearly one meeting is never listed, and never stops a scan: no or a broken
// session.json, a folder named otherwise than its manifest's id (a look-alike in lower case
// included), a capture that never wrote a video sample, hidden folders and stray files.
TEST_F(LocalSessionLibraryTest, OnlyFoldersThatAreClearlyOneMeetingAppear) {
    const auto good = makeSession(kBase);
    std::filesystem::create_directories(sessions() / Uuid::random().toString());
    auto withoutSchema = good.toJSON();
    withoutSchema.erase("schemaVersion");
    withoutSchema["id"] = Uuid::random().toString();
    writeTestFile(sessions() / withoutSchema["id"].get<std::string>() / "session.json", encodeJSON(withoutSchema));
    writeTestFile(sessions() / Uuid::random().toString() / "session.json", "{ not json");
    writeTestFile(sessions() / "stray-file.txt", "hello");
    std::string lowerCase = good.id.toString();
    std::transform(lowerCase.begin(), lowerCase.end(), lowerCase.begin(), ::tolower);
    for (const auto& name : {std::string(".hidden"), Uuid::random().toString(), lowerCase}) {
        std::filesystem::create_directories(sessions() / name);
        writeManifest(sessions() / name, good);
    }
    auto nothingRecorded = testing::recordedManifest(kBase);
    nothingRecorded.firstVideoPTSSeconds.reset();
    testing::writeTestSession(sessions(), nothingRecorded);

    const auto found = library.recoverableSessions();
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].manifest, good);
    EXPECT_EQ(found[0].directory, sessions() / good.id.toString());
    EXPECT_FALSE(library.session(nothingRecorded.id.toString()));
    EXPECT_TRUE(LocalSessionLibrary(trash, root_ / "nowhere", root_ / "nowhere-else").recoverableSessions().empty());
}

TEST_F(LocalSessionLibraryTest, CountsComeFromEachStagesFile) {
    const auto session = load(makeSession(kBase, {.transcriptSegments = 12, .candidates = 3, .exported = true,
                                                  .feedback = 4, .unfinished = 2}));
    EXPECT_EQ(session.transcriptSegmentCount, 12);
    EXPECT_EQ(session.candidateCount, 3);
    EXPECT_EQ(session.exportDirectory, exports() / session.manifest.id.toString());
    EXPECT_EQ(session.feedbackCount, 4);
    EXPECT_EQ(session.unfinishedAnalysisCount, 2);

    const auto fresh = load(makeSession(kBase));
    EXPECT_FALSE(fresh.transcriptSegmentCount);
    EXPECT_FALSE(fresh.candidateCount);
    EXPECT_FALSE(fresh.exportDirectory);
    EXPECT_FALSE(fresh.feedbackCount);
    EXPECT_EQ(fresh.unfinishedAnalysisCount, 0);
}

TEST_F(LocalSessionLibraryTest, UnreadableStageFilesLeaveTheirCountAbsent) {
    auto manifest = makeSession(kBase, {.transcriptSegments = 2, .candidates = 2, .exported = true, .feedback = 1,
                                        .unfinished = 1});
    const auto folder = sessions() / manifest.id.toString();
    const auto exportFolder = exports() / manifest.id.toString();
    // A candidate without its trigger, a feedback item without its quote, a diagnostics object
    // instead of a list: each stage would refuse its own file, so nothing is counted.
    auto candidates = parseJSON(candidatesJSON(2));
    candidates["candidates"][1].erase("trigger");
    writeTestFile(folder / kCandidateFileName, encodeJSON(candidates));
    auto feedback = parseJSON(feedbackJSON(2));
    feedback["items"][0].erase("quote");
    writeTestFile(exportFolder / "feedback.json", encodeJSON(feedback));
    writeTestFile(exportFolder / "analysis-diagnostics.json", "{}");
    writeTestFile(folder / kTranscriptFileName, "[]");

    const auto session = load(manifest);
    EXPECT_FALSE(session.transcriptSegmentCount);
    EXPECT_FALSE(session.candidateCount);
    EXPECT_TRUE(session.exportDirectory);
    EXPECT_FALSE(session.feedbackCount);
    EXPECT_EQ(session.unfinishedAnalysisCount, 0);
}

TEST_F(LocalSessionLibraryTest, ProgressLabels) {
    const struct {
        Progress progress;
        const char* label;
    } cases[] = {
        {{}, "Ready to understand"},
        {{.transcriptSegments = 12}, "12 transcript moments"},
        {{.transcriptSegments = 0}, "0 transcript moments"},
        {{.transcriptSegments = 12, .candidates = 5}, "5 evidence moments"},
        {{.candidates = 5, .exported = true}, "Ready to analyze"},  // export without feedback.json
        {{.exported = true, .feedback = 0}, "Meeting understood"},
        {{.exported = true, .feedback = 3}, "Ready to prepare"},
        {{.exported = true, .feedback = 3, .unfinished = 0}, "Ready to prepare"},
        {{.exported = true, .feedback = 3, .unfinished = 2}, "3 ready \u00B7 2 unfinished"},
        {{.exported = true, .feedback = 3, .unfinished = 2, .brief = true}, "3 changes ready to code"},
        {{.exported = true, .feedback = 0, .brief = true}, "0 changes ready to code"},
        // Feedback without evidence.json is not an export, so its files are not read.
        {{.candidates = 2, .feedback = 3, .brief = true}, "2 evidence moments"},
    };
    for (const auto& c : cases) {
        const auto session = load(makeSession(kBase, c.progress));
        EXPECT_EQ(LocalSessionLibrary::detail(session), c.label);
    }
}

TEST_F(LocalSessionLibraryTest, IdentityPrefersFingerprintThenMediaFactsThenId) {
    const auto imported = load(makeSession(kBase, {}, std::string(64, 'a')));
    EXPECT_EQ(LocalSessionLibrary::identity(imported), "source:" + std::string(64, 'a'));

    auto emptyFingerprint = load(makeSession(kBase, {}, std::string()));
    EXPECT_EQ(LocalSessionLibrary::identity(emptyFingerprint), "session:" + emptyFingerprint.manifest.id.toString());

    auto captured = load(makeSession(kBase));
    captured.manifest.firstVideoPTSSeconds = 100.25;
    captured.manifest.lastVideoPTSSeconds = 161.9999;
    // Without the video file there are no media facts.
    EXPECT_EQ(LocalSessionLibrary::identity(captured), "session:" + captured.manifest.id.toString());
    writeTestFile(captured.directory / kScreenVideoFileName, std::string(1234, 'x'));
    EXPECT_EQ(LocalSessionLibrary::identity(captured), "legacy:1280x720:1234:61749");

    captured.manifest.firstVideoPTSSeconds.reset();
    EXPECT_EQ(LocalSessionLibrary::identity(captured), "legacy:1280x720:1234:161999");
    captured.manifest.firstVideoPTSSeconds = 500;  // a last time before the first clamps at zero
    EXPECT_EQ(LocalSessionLibrary::identity(captured), "legacy:1280x720:1234:0");
    captured.manifest.lastVideoPTSSeconds.reset();
    EXPECT_EQ(LocalSessionLibrary::identity(captured), "session:" + captured.manifest.id.toString());
}

TEST(SessionQuality, FirstDifferingCriterionDecides) {
    const SessionQuality base{.createdAt = kBase};
    auto with = [&](auto change) {
        SessionQuality q = base;
        change(q);
        return q;
    };
    const auto feedbackZero = with([](auto& q) { q.hasFeedback = true, q.feedbackCount = 0; });
    const auto feedbackTwo = with([](auto& q) { q.hasFeedback = true, q.feedbackCount = 2; });
    const auto exported = with([](auto& q) { q.hasExport = true; });
    const auto manyCandidates = with([](auto& q) { q.candidateCount = 9, q.transcriptCount = 0; });
    const auto longTranscript = with([](auto& q) { q.transcriptCount = 50; });
    const auto newer = with([](auto& q) { q.createdAt += 1s; });
    // Each is lower than the next; more progress of an earlier kind beats any later kind.
    const SessionQuality ladder[] = {base, newer, longTranscript, manyCandidates, exported, feedbackZero, feedbackTwo};
    for (size_t i = 0; i < std::size(ladder); ++i)
        for (size_t j = 0; j < std::size(ladder); ++j)
            EXPECT_EQ(ladder[i].isLowerThan(ladder[j]), i < j) << i << " vs " << j;
}

TEST_F(LocalSessionLibraryTest, SameRecordingIsListedOnceByItsMostAdvancedFolder) {
    const std::string fingerprint(64, 'f');
    const auto older = makeSession(kBase, {.exported = true, .feedback = 1}, fingerprint);
    const auto newer = makeSession(kBase + 1h, {.transcriptSegments = 40, .candidates = 9}, fingerprint);
    const auto other = makeSession(kBase + 30min);
    EXPECT_EQ(uniqueIDs(), (std::vector<std::string>{other.id.toString(), older.id.toString()}));

    // With equal progress the newer copy wins.
    const auto copyA = makeSession(kBase + 2h, {.transcriptSegments = 3}, std::string(64, 'b'));
    const auto copyB = makeSession(kBase + 3h, {.transcriptSegments = 3}, std::string(64, 'b'));
    const auto ids = uniqueIDs();
    EXPECT_EQ(ids.front(), copyB.id.toString());
    EXPECT_EQ(std::count(ids.begin(), ids.end(), copyA.id.toString()), 0);
}

TEST_F(LocalSessionLibraryTest, RecentListIsNewestFirstAndLimited) {
    std::vector<LocalSessionManifest> made;
    for (int i = 0; i < 7; ++i) made.push_back(makeSession(kBase + std::chrono::hours(i), {.transcriptSegments = i}));
    const auto recent = library.recentSessions(5);
    ASSERT_EQ(recent.size(), 5u);
    for (size_t i = 0; i < recent.size(); ++i) {
        EXPECT_EQ(recent[i].id, made[6 - i].id.toString());
        EXPECT_EQ(recent[i].createdAt, made[6 - i].createdAt);
        EXPECT_EQ(recent[i].detail, std::to_string(6 - i) + " transcript moments");
        EXPECT_FALSE(recent[i].title.empty());
    }
    EXPECT_EQ(library.recentSessions(100).size(), 7u);
    EXPECT_TRUE(library.recentSessions(0).empty());
    EXPECT_TRUE(library.recentSessions(-3).empty());
}

// Either case of the id finds the upper-case folder that loading and export use; never a
// look-alike folder in lower case, and never anything for text that is not a UUID.
TEST_F(LocalSessionLibraryTest, IdsInEitherCaseReachTheCanonicalFolderOnly) {
    const auto manifest = makeSession(kBase, {.exported = true});
    const auto kept = makeSession(kBase);
    std::string lower = manifest.id.toString();
    std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
    writeTestFile(sessions() / lower / "notes.txt", "another folder");
    ASSERT_TRUE(library.session(lower));
    EXPECT_EQ(library.session(lower)->directory, sessions() / manifest.id.toString());
    EXPECT_FALSE(library.session("../" + manifest.id.toString()));
    EXPECT_FALSE(library.session(Uuid::random().toString()));

    library.deleteSession("not-a-uuid");
    library.deleteSession("../" + manifest.id.toString());
    library.deleteSession(Uuid::random().toString());  // nothing there: nothing moved, no error
    EXPECT_TRUE(trash.moved.empty());
    library.deleteSession(lower);
    EXPECT_EQ(trash.moved, (std::vector<std::filesystem::path>{sessions() / manifest.id.toString(),
                                                               exports() / manifest.id.toString()}));
    EXPECT_TRUE(std::filesystem::exists(sessions() / lower / "notes.txt"));
    ASSERT_EQ(library.recoverableSessions().size(), 1u);
    EXPECT_EQ(library.recoverableSessions()[0].manifest.id, kept.id);
}

TEST_F(LocalSessionLibraryTest, FailedMoveStopsBeforeTheExport) {
    const auto manifest = makeSession(kBase, {.exported = true});
    trash.refused = sessions() / manifest.id.toString();
    EXPECT_THROW(library.deleteSession(manifest.id.toString()), FileSystemError);
    EXPECT_TRUE(trash.moved.empty());
    EXPECT_TRUE(std::filesystem::exists(exports() / manifest.id.toString()));
}

}  // namespace
}  // namespace quillmer
