#include "capture/local_session_library.h"

#include <gtest/gtest.h>

#include "support/recording_trash.h"
#include "support/temporary_folder.h"
#include "support/test_sessions.h"

namespace quillmer::testing {
namespace {

using namespace std::chrono_literals;
const Timestamp kBase = *parseISO8601("2026-05-04T09:30:12Z");

// `count` copies of `item` (each with a fresh "id") as the JSON `shape` holds them under `key`.
std::string listJSON(int count, Json item, Json shape = nullptr, const char* key = nullptr) {
    Json list = Json::array();
    for (int i = 0; i < count; ++i) list.push_back(item), list.back()["id"] = Uuid::random().toString();
    if (!key) return encodeJSON(list);
    shape[key] = list;
    return encodeJSON(shape);
}

std::string feedbackJSON(int count) {
    return listJSON(count,
                    {{"candidateID", Uuid::random().toString()}, {"component", "Header"}, {"observed", "small"},
                     {"requestedChange", "bigger"}, {"quote", "make this bigger"}, {"confidence", 0.8},
                     {"evidenceFramePaths", {"frames/a.png"}}},
                    {{"schemaVersion", 2}, {"provider", "gemini"}, {"model", "m"}, {"createdAt", "2026-05-04T10:00:00Z"}},
                    "items");
}

std::string diagnosticsJSON(int count) {
    return listJSON(count, {{"candidateID", Uuid::random().toString()}, {"message", "timed out"}});
}

// Stage output a test folder should carry; absent members mean the stage has not run.
struct Progress {
    std::optional<int> transcriptSegments = std::nullopt, candidates = std::nullopt;
    bool exported = false;
    std::optional<int> feedback = std::nullopt, unfinished = std::nullopt;
    bool brief = false;
};

class LocalSessionLibraryTest : public ::testing::Test {
protected:
    LocalSessionManifest makeSession(Timestamp createdAt, const Progress& progress = {},
                                     std::optional<std::string> fingerprint = std::nullopt) {
        auto manifest = recordedManifest(createdAt);
        manifest.sourceMediaFingerprint = std::move(fingerprint);
        std::optional<std::vector<std::string>> transcript;
        if (progress.transcriptSegments) transcript.emplace(*progress.transcriptSegments, "words");
        const auto folder = writeTestSession(sessions, manifest, {transcript, progress.candidates});
        const auto exportFolder = exports / manifest.id.toString();
        if (progress.exported) writeTestFile(exportFolder / "evidence.json", "{}");
        if (progress.feedback) writeTestFile(exportFolder / "feedback.json", feedbackJSON(*progress.feedback));
        if (progress.unfinished) writeTestFile(exportFolder / "analysis-diagnostics.json", diagnosticsJSON(*progress.unfinished));
        if (progress.brief) writeTestFile(exportFolder / "implementation-brief.md", "# Brief\n");
        return readManifest(folder);
    }

    RecoverableLocalSession load(const LocalSessionManifest& manifest) const {
        return library.session(manifest.id.toString()).value();
    }

    std::vector<std::string> uniqueIDs() const {
        std::vector<std::string> ids;
        for (const auto& session : library.uniqueSessions()) ids.push_back(session.manifest.id.toString());
        return ids;
    }

    TemporaryFolder root;
    std::filesystem::path sessions = root / "Sessions", exports = root / "Exports";
    RecordingTrash trash;
    LocalSessionLibrary library{trash, sessions, exports};
};

// What is not clearly one meeting is never listed, and never stops a scan: no or a broken
// session.json, a folder named otherwise than its manifest's id (a look-alike in lower case
// included), a capture that never wrote a video sample, hidden folders and stray files.
TEST_F(LocalSessionLibraryTest, OnlyFoldersThatAreClearlyOneMeetingAppear) {
    const auto good = makeSession(kBase);
    std::filesystem::create_directories(sessions / Uuid::random().toString());
    auto withoutSchema = good.toJSON();
    withoutSchema.erase("schemaVersion");
    withoutSchema["id"] = Uuid::random().toString();
    writeTestFile(sessions / withoutSchema["id"].get<std::string>() / "session.json", encodeJSON(withoutSchema));
    writeTestFile(sessions / Uuid::random().toString() / "session.json", "{ not json");
    writeTestFile(sessions / "stray-file.txt", "hello");
    for (const auto& name : {std::string(".hidden"), Uuid::random().toString(), lowerCase(good.id.toString())})
        writeTestFile(sessions / name / "session.json", encodeJSON(good.toJSON()));
    auto nothingRecorded = recordedManifest(kBase);
    nothingRecorded.firstVideoPTSSeconds.reset();
    writeTestSession(sessions, nothingRecorded);

    const auto found = library.recoverableSessions();
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].manifest, good);
    EXPECT_EQ(found[0].directory, sessions / good.id.toString());
    EXPECT_FALSE(library.session(nothingRecorded.id.toString()));
    EXPECT_TRUE(LocalSessionLibrary(trash, root / "nowhere", root / "nowhere-else").recentSessions(5).empty());
}

// Counts come from each stage's own file; a file its stage would refuse (a candidate without its
// trigger, a feedback item without its quote, diagnostics that are not a list) counts as absent.
TEST_F(LocalSessionLibraryTest, CountsComeFromEachStagesFileWhenThatStageCouldReadIt) {
    const auto session = load(makeSession(kBase, {12, 3, true, 4, 2}));
    EXPECT_EQ(std::tie(session.transcriptSegmentCount, session.candidateCount, session.feedbackCount,
                       session.unfinishedAnalysisCount, session.exportDirectory),
              std::make_tuple(12, 3, 4, 2, exports / session.manifest.id.toString()));

    const auto fresh = load(makeSession(kBase));
    EXPECT_FALSE(fresh.transcriptSegmentCount || fresh.candidateCount || fresh.exportDirectory || fresh.feedbackCount);
    EXPECT_EQ(fresh.unfinishedAnalysisCount, 0);

    auto candidates = parseJSON(candidatesJSON(2));
    candidates["candidates"][1].erase("trigger");
    auto feedback = parseJSON(feedbackJSON(2));
    feedback["items"][0].erase("quote");
    writeTestFile(session.directory / kCandidateFileName, encodeJSON(candidates));
    writeTestFile(*session.exportDirectory / "feedback.json", encodeJSON(feedback));
    writeTestFile(*session.exportDirectory / "analysis-diagnostics.json", "{}");
    writeTestFile(session.directory / kTranscriptFileName, "[]");
    const auto damaged = load(session.manifest);
    EXPECT_FALSE(damaged.transcriptSegmentCount || damaged.candidateCount || damaged.feedbackCount);
    EXPECT_TRUE(damaged.exportDirectory);
    EXPECT_EQ(damaged.unfinishedAnalysisCount, 0);
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
    for (const auto& c : cases) EXPECT_EQ(LocalSessionLibrary::detail(load(makeSession(kBase, c.progress))), c.label);
}

TEST_F(LocalSessionLibraryTest, IdentityPrefersFingerprintThenMediaFactsThenId) {
    EXPECT_EQ(LocalSessionLibrary::identity(load(makeSession(kBase, {}, std::string(64, 'a')))), "source:" + std::string(64, 'a'));
    auto captured = load(makeSession(kBase, {}, std::string()));  // an empty fingerprint is none
    const std::string byId = "session:" + captured.manifest.id.toString();
    EXPECT_EQ(LocalSessionLibrary::identity(captured), byId);  // without the video file there are no media facts
    writeTestFile(captured.directory / kScreenVideoFileName, std::string(1234, 'x'));
    const struct {
        std::optional<double> first, last;
        std::string identity;
    } cases[] = {{100.25, 161.9999, "legacy:1280x720:1234:61749"}, {std::nullopt, 161.9999, "legacy:1280x720:1234:161999"},
                 {500, 161.9999, "legacy:1280x720:1234:0"},  // a last time before the first clamps at zero
                 {100, std::nullopt, byId}};
    for (const auto& c : cases) {
        captured.manifest.firstVideoPTSSeconds = c.first;
        captured.manifest.lastVideoPTSSeconds = c.last;
        EXPECT_EQ(LocalSessionLibrary::identity(captured), c.identity);
    }
}

TEST(SessionQuality, FirstDifferingCriterionDecides) {
    const SessionQuality base{.createdAt = kBase};
    auto with = [&](auto change) {
        SessionQuality q = base;
        change(q);
        return q;
    };
    // Each is lower than the next; more progress of an earlier kind beats any later kind.
    const SessionQuality ladder[] = {base, with([](auto& q) { q.createdAt += 1s; }),
                                     with([](auto& q) { q.transcriptCount = 50; }),
                                     with([](auto& q) { q.candidateCount = 9, q.transcriptCount = 0; }),
                                     with([](auto& q) { q.hasExport = true; }),
                                     with([](auto& q) { q.hasFeedback = true, q.feedbackCount = 0; }),
                                     with([](auto& q) { q.hasFeedback = true, q.feedbackCount = 2; })};
    for (size_t i = 0; i < std::size(ladder); ++i)
        for (size_t j = 0; j < std::size(ladder); ++j) EXPECT_EQ(ladder[i].isLowerThan(ladder[j]), i < j) << i << " vs " << j;
}

TEST_F(LocalSessionLibraryTest, SameRecordingIsListedOnceByItsMostAdvancedFolderAndTheListIsNewestFirst) {
    const std::string fingerprint(64, 'f');
    const auto older = makeSession(kBase, {.exported = true, .feedback = 1}, fingerprint);
    makeSession(kBase + 1h, {.transcriptSegments = 40, .candidates = 9}, fingerprint);
    const auto other = makeSession(kBase + 30min);
    EXPECT_EQ(uniqueIDs(), (std::vector<std::string>{other.id.toString(), older.id.toString()}));
    // With equal progress the newer copy wins.
    makeSession(kBase + 2h, {.transcriptSegments = 3}, std::string(64, 'b'));
    const auto copy = makeSession(kBase + 3h, {.transcriptSegments = 3}, std::string(64, 'b'));
    EXPECT_EQ(uniqueIDs(), (std::vector<std::string>{copy.id.toString(), other.id.toString(), older.id.toString()}));

    const auto recent = library.recentSessions(2);
    ASSERT_EQ(recent.size(), 2u);
    EXPECT_EQ(recent[1], (LocalSessionSummary{other.id.toString(), recent[1].title, "Ready to understand", other.createdAt}));
    EXPECT_FALSE(recent[1].title.empty());
    for (const auto& [limit, size] : {std::pair{100, 3u}, {0, 0u}, {-3, 0u}}) EXPECT_EQ(library.recentSessions(limit).size(), size);
}

// Either case of the id finds the upper-case folder that loading and export use; never a
// look-alike folder in lower case, and never anything for text that is not a UUID. A failed move
// stops before the export.
TEST_F(LocalSessionLibraryTest, IdsInEitherCaseReachTheCanonicalFolderOnly) {
    const auto manifest = makeSession(kBase, {.exported = true});
    const auto kept = makeSession(kBase);
    const auto lower = lowerCase(manifest.id.toString());
    writeTestFile(sessions / lower / "notes.txt", "another folder");
    EXPECT_EQ(library.session(lower).value().directory, sessions / manifest.id.toString());
    for (const auto& id : {std::string("not-a-uuid"), "../" + manifest.id.toString(), Uuid::random().toString()}) {
        EXPECT_FALSE(library.session(id)) << id;
        library.deleteSession(id);
    }
    trash.refused = sessions / manifest.id.toString();
    EXPECT_THROW(library.deleteSession(manifest.id.toString()), FileSystemError);
    EXPECT_TRUE(trash.moved.empty());
    trash.refused.clear();
    library.deleteSession(lower);
    EXPECT_EQ(trash.moved, (std::vector<std::filesystem::path>{sessions / manifest.id.toString(),
                                                               exports / manifest.id.toString()}));
    EXPECT_TRUE(std::filesystem::exists(sessions / lower / "notes.txt"));
    ASSERT_EQ(library.recoverableSessions().size(), 1u);
    EXPECT_EQ(library.recoverableSessions()[0].manifest.id, kept.id);
}

}  // namespace
}  // namespace quillmer::testing
