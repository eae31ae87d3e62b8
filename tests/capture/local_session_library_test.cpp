#include "capture/local_session_library.h"

#include <gtest/gtest.h>

#include <chrono>

#include "capture/session_folder.h"
#include "support/recording_trash.h"
#include "support/temporary_folder.h"
#include "transcription/local_transcript.h"

namespace quillmer {
namespace {

using namespace std::chrono_literals;
using testing::TemporaryFolder;
using testing::writeTestFile;

using testing::RecordingTrash;

const Timestamp kBase = *parseISO8601("2026-05-04T09:30:12Z");

std::string candidatesJSON(int count) {
    Json candidates = Json::array();
    for (int i = 0; i < count; ++i)
        candidates.push_back({{"id", Uuid::random().toString()},
                              {"rangeStartSeconds", i * 20.0},
                              {"rangeEndSeconds", i * 20.0 + 8},
                              {"trigger", "this"},
                              {"transcriptContext", "make this bigger"},
                              {"frameFiles", {"frames/a.png"}},
                              {"visualAnchor", {{"x", 0.1}, {"y", 0.2}, {"width", 0.3}, {"height", 0.1}}}});
    return encodeJSON({{"schemaVersion", 1}, {"createdAt", "2026-05-04T10:00:00Z"}, {"candidates", candidates}});
}

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
        LocalSessionManifest manifest;
        manifest.id = Uuid::random();
        manifest.createdAt = createdAt;
        manifest.width = 1280;
        manifest.height = 720;
        manifest.videoFile = kScreenVideoFileName;
        manifest.sourceMediaFingerprint = std::move(fingerprint);
        const auto folder = createSessionFolder(sessions(), manifest.id);
        writeManifest(folder, manifest);
        if (progress.transcriptSegments) {
            LocalTranscript transcript;
            transcript.createdAt = createdAt;
            transcript.audioFile = kSystemAudioFileName;
            transcript.localeIdentifier = "en-US";
            for (int i = 0; i < *progress.transcriptSegments; ++i)
                transcript.segments.push_back({Uuid::random(), i * 2.0, 1.5, "words", std::nullopt, std::nullopt, std::nullopt});
            storeTranscript(folder, manifest, transcript);
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

TEST_F(LocalSessionLibraryTest, UnreadableFoldersNeverAppearAndNeverStopAScan) {
    const auto good = makeSession(kBase);
    std::filesystem::create_directories(sessions() / Uuid::random().toString());  // no session.json
    auto withoutSchema = good.toJSON();
    withoutSchema.erase("schemaVersion");
    withoutSchema["id"] = Uuid::random().toString();
    writeTestFile(sessions() / withoutSchema["id"].get<std::string>() / "session.json", encodeJSON(withoutSchema));
    writeTestFile(sessions() / Uuid::random().toString() / "session.json", "{ not json");
    writeTestFile(sessions() / "stray-file.txt", "hello");
    auto hidden = good;
    hidden.id = Uuid::random();
    std::filesystem::create_directories(sessions() / ".hidden");
    writeManifest(sessions() / ".hidden", hidden);

    const auto found = library.recoverableSessions();
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].manifest, good);
    EXPECT_EQ(found[0].directory, sessions() / good.id.toString());
}

TEST_F(LocalSessionLibraryTest, MissingRootIsAnEmptyLibrary) {
    const LocalSessionLibrary missing(trash, root_ / "nowhere", root_ / "nowhere-else");
    EXPECT_TRUE(missing.recoverableSessions().empty());
    EXPECT_TRUE(missing.recentSessions(5).empty());
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

TEST_F(LocalSessionLibraryTest, ManifestFileNamesAreNotFollowedOutOfTheFolder) {
    auto manifest = makeSession(kBase);
    const auto folder = sessions() / manifest.id.toString();
    writeTestFile(sessions() / kCandidateFileName, candidatesJSON(5));  // next to, not inside, the folder
    manifest = updateManifest(folder, [](auto& m) { m.candidateFile = std::string("../") + kCandidateFileName; });
    EXPECT_FALSE(load(manifest).candidateCount);
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
        const auto& manifest = made[made.size() - 1 - i];
        EXPECT_EQ(recent[i].id, manifest.id.toString());
        EXPECT_EQ(recent[i].createdAt, manifest.createdAt);
        EXPECT_EQ(recent[i].detail, std::to_string(6 - i) + " transcript moments");
        EXPECT_FALSE(recent[i].title.empty());
    }
    EXPECT_EQ(library.recentSessions(100).size(), 7u);
    EXPECT_TRUE(library.recentSessions(0).empty());
    EXPECT_TRUE(library.recentSessions(-3).empty());
}

TEST_F(LocalSessionLibraryTest, SessionByIdAcceptsEitherCaseAndRefusesOtherText) {
    const auto manifest = makeSession(kBase);
    std::string lower = manifest.id.toString();
    std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
    ASSERT_TRUE(library.session(lower));
    EXPECT_EQ(library.session(lower)->manifest, manifest);
    EXPECT_FALSE(library.session("../" + manifest.id.toString()));
    EXPECT_FALSE(library.session(Uuid::random().toString()));
}

TEST_F(LocalSessionLibraryTest, DeletingMovesSessionThenExportToTheTrash) {
    const auto manifest = makeSession(kBase, {.exported = true});
    const auto kept = makeSession(kBase);
    library.deleteSession("not-a-uuid");
    library.deleteSession("../" + manifest.id.toString());
    EXPECT_TRUE(trash.moved.empty());

    std::string lower = manifest.id.toString();
    std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
    library.deleteSession(lower);
    EXPECT_EQ(trash.moved, (std::vector<std::filesystem::path>{sessions() / manifest.id.toString(),
                                                               exports() / manifest.id.toString()}));
    ASSERT_EQ(library.recoverableSessions().size(), 1u);
    EXPECT_EQ(library.recoverableSessions()[0].manifest.id, kept.id);

    library.deleteSession(Uuid::random().toString());  // nothing there: nothing moved, no error
    EXPECT_EQ(trash.moved.size(), 2u);
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
