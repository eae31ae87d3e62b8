#include "app/review_state_snapshot.h"

#include <gtest/gtest.h>

#include <functional>

#include "app/diagnostics_record.h"
#include "app/display_id.h"
#include "core/version.h"

namespace quillmer {
namespace {

TEST(ReviewStageTest, FirstMatchingRowWins) {
    struct Row {
        const char* name;
        std::function<void(CaptureEngineState&)> arrange;
        ReviewStage expected;
    };
    const auto session = [](CaptureEngineState& s) { s.lastSessionDirectory = "/s/6F1C"; };
    const auto transcribing = [](TranscriptionProgress progress) {
        return [progress](CaptureEngineState& s) { s.isTranscribing = true, s.transcriptionProgress = progress; };
    };
    const std::vector<Row> rows = {
        {"idle", [](auto&) {}, {"idle", std::nullopt, std::nullopt}},
        {"cloud sync", [](auto& s) { s.isSyncingCloudSessions = true; }, {"idle", "Checking for cloud meetings…", std::nullopt}},
        {"recording beats everything",
         [](auto& s) { s.isCapturing = true, s.frameCount = 42, s.isTranscribing = true, s.errorMessage = "x"; },
         {"recording", "42 frames captured", std::nullopt}},
        {"importing", [](auto& s) { s.isImporting = true; s.isTranscribing = true; }, {"importing", "Preparing your recording…", std::nullopt}},
        {"transcribing, progress unknown", [](auto& s) { s.isTranscribing = true; }, {"transcribing", std::nullopt, std::nullopt}},
        {"transcribing part 2 of 4", transcribing({1, 4}), {"transcribing", "Part 2 of 4", 0.25}},
        {"transcribing, last part done: never part 4 of 3", transcribing({3, 3}), {"transcribing", "Part 3 of 3", 1.0}},
        {"transcribing, no chunks", transcribing({0, 0}), {"transcribing", std::nullopt, 0.0}},
        {"finding evidence", [](auto& s) { s.isExtractingEvidence = true; }, {"finding-evidence", "Matching words to the screen…", std::nullopt}},
        {"exporting", [](auto& s) { s.isExporting = true; }, {"exporting", "Preparing cited evidence…", std::nullopt}},
        {"analyzing", [](auto& s) { s.isAnalyzing = true; }, {"analyzing", "Understanding the clearest moments…", std::nullopt}},
        {"failed beats ready",
         [&](auto& s) { session(s), s.lastExportDirectory = "/e", s.feedbackCount = 2, s.errorMessage = "Transcription could not complete: x"; },
         {"failed", std::nullopt, std::nullopt}},
        {"ready", [&](auto& s) { session(s), s.lastExportDirectory = "/e", s.feedbackCount = 0; }, {"ready", "Your review is ready.", 1.0}},
        {"exported but not analysed",
         [&](auto& s) { session(s), s.transcriptSegmentCount = 3, s.lastExportDirectory = "/e"; },
         {"ready-to-process", "Transcript added. Ready to understand.", std::nullopt}},
        {"recorded", session, {"ready-to-process", "Ready to understand.", std::nullopt}},
    };
    for (const auto& row : rows) {
        CaptureEngineState state;
        row.arrange(state);
        EXPECT_EQ(deriveReviewStage(state), row.expected) << row.name;
    }
}

TEST(StateSnapshotTest, CarriesOnlyWhatIsKnown) {
    CaptureEngineState state;
    Json snapshot = makeStateSnapshot(state, {{{"currentVersion", 1}}, {{"standing", false}}, {{"enabled", true}}});
    EXPECT_EQ(snapshot["available"], true);
    EXPECT_EQ(snapshot["stage"], "idle");
    EXPECT_EQ(snapshot["captureRole"], "recorder");
    EXPECT_EQ(snapshot["recentSessions"], Json::array());
    EXPECT_EQ(snapshot["cloudSync"]["configured"], false);
    EXPECT_EQ(snapshot["cloudSync"]["phase"], "unavailable");
    EXPECT_EQ(snapshot["cloudSync"]["connectAvailable"], false);
    EXPECT_TRUE(snapshot["cloudSync"]["connectUnavailableReason"].is_string());
    EXPECT_EQ(snapshot["disclosure"]["currentVersion"], 1);
    for (const char* key : {"sessionName", "progress", "detail", "transcriptSegments", "evidenceMoments",
                            "groundedFeedback", "unfinishedAnalysis", "error", "capturePromptID"})
        EXPECT_FALSE(snapshot.contains(key)) << key;

    state.lastSessionDirectory = "/data/Sessions/6F1C2B9E-0000-4000-8000-000000000000";
    state.transcriptSegmentCount = 0;
    state.candidateCount = 4;
    state.unfinishedAnalysisCount = 2;
    state.recentSessions = {{"6F1C2B9E-0000-4000-8000-000000000000", "Today at 09:30", "Ready to understand", {}}};
    snapshot = makeStateSnapshot(state, {});
    EXPECT_EQ(snapshot["sessionName"], "6F1C2B9E-0000-4000-8000-000000000000");
    EXPECT_EQ(snapshot["transcriptSegments"], 0);
    EXPECT_EQ(snapshot["evidenceMoments"], 4);
    EXPECT_EQ(snapshot["unfinishedAnalysis"], 2);
    EXPECT_EQ(snapshot["recentSessions"][0],
              (Json{{"id", "6F1C2B9E-0000-4000-8000-000000000000"}, {"title", "Today at 09:30"}, {"detail", "Ready to understand"}}));
}

TEST(DisplayIDTest, AcceptsUnsigned32BitDecimalWithOneSign) {
    for (const char* seven : {"7", "+7", "007"}) EXPECT_EQ(parseDisplayID(seven), 7u) << seven;
    EXPECT_EQ(parseDisplayID("-0"), 0u);
    EXPECT_EQ(parseDisplayID("4294967295"), 4294967295u);
    for (const char* invalid : {"", "+", "-", "abc", "7a", " 7", "7 ", "+-7", "-7", "4294967296", "99999999999999999999", "0x7"})
        EXPECT_EQ(parseDisplayID(invalid), std::nullopt) << invalid;
}

// Only counts and states: the error texts, which may name a path or a host, stay out.
TEST(DiagnosticsRecordTest, HoldsNoPathsOrHosts) {
    const Json snapshot = {{"available", true},
                           {"stage", "failed"},
                           {"error", "Could not read /home/me/secret.mov"},
                           {"recentSessions", Json::array({Json::object(), Json::object()})},
                           {"cloudSync", {{"configured", true}, {"phase", "failed"}, {"error", "host x.example"}}}};
    EXPECT_EQ(makeDiagnosticsRecord(snapshot, *parseISO8601("2026-05-04T09:30:12Z")),
              (Json{{"schemaVersion", 1}, {"createdAt", "2026-05-04T09:30:12Z"}, {"appVersion", quillmerVersion()},
                    {"platform", "Linux"}, {"captureAvailable", true}, {"stage", "failed"}, {"recentMeetingCount", 2},
                    {"cloudSync", {{"configured", true}, {"phase", "failed"}}}}));
    EXPECT_EQ(makeDiagnosticsRecord(Json::object(), {})["stage"], "unknown");
}

}  // namespace
}  // namespace quillmer
