#include "review/implementation_brief.h"

#include <gtest/gtest.h>

#include <regex>

#include "core/atomic_file.h"
#include "core/sha256.h"
#include "support/export_builders.h"

namespace quillmer {
namespace {

namespace fs = std::filesystem;
using testing::writeTestFile;

const std::string &kA = testing::kGroundedA, &kB = testing::kGroundedB;

struct ExportFolder {
    testing::TemporaryFolder folder;
    GroundedFeedbackReport report = testing::writeGroundedExport(folder.path());
    std::string read(const char* name) const { return readWholeFile(folder / name); }
};

TEST(ReviewState, AutomaticSelectionAtThresholdUntilTheUserSaves) {
    ExportFolder ex;
    ex.report.items[0].confidence = 0.95;
    const auto automatic = syncReviewState(ex.report, ex.folder.path());
    EXPECT_EQ(automatic.includedFeedbackIDs, (std::set<std::string>{kA, kB}));
    EXPECT_EQ(automatic.visualEvidenceUsefulIDs, automatic.includedFeedbackIDs);
    EXPECT_EQ(loadReviewState(ex.folder.path()).schemaVersion, 3);

    // Unknown IDs and a blank requested change are dropped; a kept edit stays untrimmed.
    saveReviewDecisions(ex.folder.path(), {{kB, "nope"}, {}, {{kA, {{"component", " X "}, {"requestedChange", " \n"}}},
                                                        {kB, {{"component", " Y "}, {"requestedChange", "Z"}}},
                                                        {"nope", {{"component", "Y"}, {"requestedChange", "Z"}}}}});
    const auto saved = syncReviewState(ex.report, ex.folder.path());
    EXPECT_EQ(saved.includedFeedbackIDs, std::set<std::string>{kB});
    EXPECT_EQ(saved.edits, (std::map<std::string, FeedbackReviewEdit>{{kB, {" Y ", "Z"}}}));
    EXPECT_EQ(saved.selectionMode, SelectionMode::manual);

    const auto moments = loadReviewMoments(ex.folder.path());
    ASSERT_EQ(moments.size(), 2u);  // the third item's candidate is unknown
    EXPECT_EQ(moments[0].confidence, 87);  // 0.876 on disk, truncated
    EXPECT_EQ(moments[0].timestamp, "01:05.25");
    EXPECT_EQ(moments[1].title, " Y ");
}

TEST(ImplementationBrief, SignificantWordsAndTheCoverageRule) {
    EXPECT_EQ(significantWords("Add the EXPORT-button, a x! Ändern é"), (std::set<std::string>{"add", "export", "button", "ändern"}));
    ImplementationBriefDocument::Item item;
    item.requestedChange = "add an export button on the report page";
    EXPECT_EQ(uncoveredActions({"Add export button to the report page", "A to b", "Rename the settings tab"}, {item}),
              (std::vector<std::string>{"A to b", "Rename the settings tab"}));
}

TEST(ImplementationBrief, ShowsTheDecisiveFramesOfEachItem) {
    // None cited: the kinds (from the file names) decide which frames are shown.
    EvidenceBundleDocument::Candidate candidate;
    for (const std::string path : {"f-0.png", "f-1.png", "f-2.png", "f-change-anchor.png", "f-change-focus.png"})
        candidate.frames.push_back({path, "d", 1});
    FeedbackReviewState state;
    state.includedFeedbackIDs = state.visualEvidenceUsefulIDs = {Uuid().toString()};
    ImplementationBriefDocument document;
    document.items = {*makeBriefItem(GroundedFeedbackItem{}, state, {{Uuid(), candidate}})};
    const auto markdown = briefMarkdown(document);
    EXPECT_EQ(std::regex_replace(markdown, std::regex("[^]*?### ([^\n]*)\n[^]*?(?=###|$)"), "$1|"),
              "Screen at the referenced moment|Annotated visual-change frame|Focused visual-change crop|");
}

TEST(ImplementationBrief, GoldenBriefWithEditsExclusionsAndSummaryActions) {
    ExportFolder ex;
    EXPECT_THROW(generateImplementationBrief(ex.folder.path()), ImplementationBriefError);  // nothing chosen yet
    EXPECT_FALSE(fs::exists(ex.folder / "implementation-brief.json"));
    saveReviewDecisions(ex.folder.path(), {{kA, kB}, {kA}, {{kB, {{"component", "Report"}, {"requestedChange", "add an export button on the report page"}}}}});
    writeTestFile(ex.folder / "meeting-summary.json",
                  R"({"actionItems": ["Add export button to the report page", "A to b"]})");
    writeTestFile(ex.folder / "implementation-brief.md", "stale");
    for (int run = 0; run < 2; ++run) generateImplementationBrief(ex.folder.path());

    const Json json = parseJSON(ex.read("implementation-brief.json"));
    const std::string at = json["createdAt"];
    const std::string dot = "\u00B7", digest0 = sha256Hex("bytes of frames/m1-0.png");
    EXPECT_EQ(ex.read("implementation-brief.md"),
              "# Quillmer implementation brief\n\nThis brief combines the complete meeting task audit with detailed "
              "evidence for the changes that have useful captured screens. Do not drop a task merely because it lacks "
              "visual evidence; use the complete transcript when clarification is needed.\n\n- Generated: " + at +
              "\n- Reviewed revision: `0123abc` " + dot + " main\n"
              "- Source analysis: [feedback.json](feedback.json)\n- Source evidence: [evidence.json](evidence.json)\n"
              "- Complete transcript: [transcript.json](transcript.json)\n\n"
              "## 1. Comp A " + dot + " 01:05.25\u201301:10.00 " + dot + " 87% grounded\n\n> Quote A\n\n"
              "**Requested change**\nChange A\n\n**Observed**\nSeen A\n\n**Transcript context**\n> So here\n\n"
              "**Visual evidence**\n\n### Before the referenced moment\n\n![Before the referenced moment](frames/m1-0.png)"
              "\n\n[Open original image](frames/m1-0.png) " + dot + " SHA-256 `" + digest0 + "`\n\n"
              "## 2. Report " + dot + " 00:01.00\u201300:02.50 " + dot + " 72% grounded\n\n> Quote B\n\n"
              "**Requested change**\nadd an export button on the report page\n\n**Observed**\nSeen B\n\n"
              "**Transcript context**\n> And there\n\n**Grounding**\nTranscript-grounded. No useful visual evidence "
              "was selected for this action.\n\n## Additional transcript-grounded tasks\n\nThese tasks were explicit "
              "in the meeting but did not require a model-cited screen:\n\n- A to b\n");
    EXPECT_EQ(json["items"][0].dump(), R"({"candidateID":")" + kA + R"(","component":"Comp A","confidence":0.876,)"
              R"("evidenceFrames":[{"byteCount":24,"kind":"before","modelCited":false,"path":"frames/m1-0.png","sha256":")" +
              digest0 + R"("},{"byteCount":24,"kind":"after","modelCited":false,"path":"frames/m1-2.png","sha256":")" +
              sha256Hex("bytes of frames/m1-2.png") + R"("}],"id":")" + kA + R"(","observed":"Seen A","quote":"Quote A",)"
              R"("rangeEndSeconds":70,"rangeStartSeconds":65.25,"requestedChange":"Change A",)"
              R"("transcriptContext":"So here","trigger":"this"})");
    EXPECT_EQ(json["additionalTranscriptActions"], Json::array({"A to b"}));
    EXPECT_EQ(json["schemaVersion"], 4);

    // A damaged decisions file stops the brief but not the review list.
    writeTestFile(ex.folder / "review-state.json", "{ not json");
    EXPECT_THROW(generateImplementationBrief(ex.folder.path()), DecodingError);
    EXPECT_EQ(loadReviewMoments(ex.folder.path()).size(), 2u);
}

}  // namespace
}  // namespace quillmer
