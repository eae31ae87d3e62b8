#include <gtest/gtest.h>

#include <algorithm>

#include "analysis/evidence_analysis_runner.h"
#include "analysis/transcript_rules_evidence_provider.h"
#include "capture/session_progress_files.h"
#include "core/atomic_file.h"
#include "evidence/frame_extraction.h"
#include "review/review_state.h"
#include "support/export_builders.h"

namespace quillmer::testing {
namespace {

// The demo meeting's four spoken segments, 4 s, 12 s, 26 s and 40 s in.
const std::string kSpoken[] = {"Thanks for joining, this is the new onboarding screen.", "Can we move this button here, next to the title?",
                               "You need to fix the logo here, it looks wrong.", "Please make this text larger, it is hard to read."};
const VisualChangeAnchor kAnchor{0.484375, 0.2083, 0.125, 0.1111};

std::string spoken(size_t first, size_t last) {
    std::string text = kSpoken[first];
    for (size_t i = first + 1; i <= last; ++i) text += " " + kSpoken[i];
    return text;
}

// The demo meeting's export: its transcript copy and its three candidates, five frames each.
class TranscriptRulesTest : public ::testing::Test {
protected:
    void SetUp() override {
        LocalTranscript transcript;
        for (const auto& [i, start] : {std::pair{0, 4.0}, {1, 12.0}, {2, 26.0}, {3, 40.0}})
            transcript.segments.push_back({Uuid::random(), start, 5, kSpoken[i], {}, {}, {}});
        writeTestFile(files.folder / "transcript.json", encodeJSON(transcript.toJSON()));
        document.session.transcript.path = "transcript.json";
        for (const auto& [trigger, start, first, last] : {std::tuple{"this", 10.0, 0u, 2u}, {"need", 24.0, 0u, 3u}, {"this", 38.0, 2u, 3u}})
            document.candidates.push_back(candidate(trigger, start, spoken(first, last), kAnchor));
        writeTestFile(files.folder / kEvidenceFileName, encodeJSON(document.toJSON()));
    }
    EvidenceBundleDocument::Candidate candidate(const std::string& trigger, double start, const std::string& context,
                                                std::optional<VisualChangeAnchor> anchor) {
        files.candidate = {Uuid::random(), start, start + 3, trigger, context, {}, anchor};
        const Uuid id = files.candidate.id;
        for (const auto& name : {frameFileName(id, 0), frameFileName(id, 1), frameFileName(id, 2),
                                 changeAnchorFileName(id), changeFocusFileName(id)})
            files.addFrame("frames/" + name, "png " + name);
        return files.candidate;
    }
    EvidenceCandidateBundle files;  // its folder and frame writer
    EvidenceBundleDocument document;
    TranscriptRulesEvidenceProvider provider;
};

TEST_F(TranscriptRulesTest, TheDemoMeetingsRequestsAreQuotedNamedAndCitedBelowTheSelectionThreshold) {
    const auto report = EvidenceAnalysisRunner(provider).run(files.folder.path(), {});
    const auto stored = GroundedFeedbackReport::fromJSON(parseJSON(readWholeFile(files.folder / kFeedbackFileName)));
    EXPECT_EQ(stored.provider + " " + stored.model, "transcript-rules transcript-rules");
    EXPECT_NE(readWholeFile(files.folder / kFeedbackMarkdownFileName).find("not judged by a model"), std::string::npos);
    ASSERT_EQ(report.items.size(), 3u);
    const std::pair<std::string, std::string> expected[] = {{kSpoken[1], "Button"}, {kSpoken[2], "Logo"}, {kSpoken[3], "Text"}};
    for (size_t i = 0; i < 3; ++i) {
        const auto& candidate = document.candidates[i];
        const auto item = std::ranges::find(report.items, candidate.id, &GroundedFeedbackItem::candidateID);
        ASSERT_NE(item, report.items.end());
        EXPECT_EQ(item->quote, expected[i].first);
        EXPECT_NE(candidate.transcriptContext.find(item->quote), std::string::npos);
        EXPECT_EQ(item->requestedChange, item->quote);
        EXPECT_EQ(item->component, expected[i].second);
        EXPECT_LT(item->confidence, kAutomaticSelectionThreshold);
        EXPECT_EQ(item->observed,
                  "A small change was detected near the top centre of the screen (an area about 13% \u00D7 11% of the frame).");
        ASSERT_EQ(item->evidenceFramePaths.size(), 3u);
        for (const auto& path : item->evidenceFramePaths) {
            EXPECT_TRUE(std::filesystem::exists(files.folder / path)) << path;
            EXPECT_TRUE(std::ranges::count(candidate.frames, path, &EvidenceBundleDocument::Frame::path)) << path;
        }
    }
}

TEST_F(TranscriptRulesTest, OddCandidatesGiveNothingOrAnHonestItem) {
    struct Case { std::string trigger, context; double start; bool anchored; std::optional<std::string> quote; std::string component; };
    const Case cases[] = {
        {"fix", kSpoken[0], 10, true, std::nullopt, ""},            // no sentence holds the trigger
        {"this", "", 10, true, std::nullopt, ""},                    // empty context
        {"this", spoken(1, 3), 38, true, kSpoken[3], "Text"},       // two requests: the one at the moment
        {"this", spoken(1, 3), 10, true, kSpoken[1], "Button"},
        {"this", kSpoken[1], 10, false, kSpoken[1], "Button"},      // no anchor
        {"fix", "Fix it now!", 10, true, "Fix it now!", "Screen"},  // no noun phrase
        {"this", "this", 10, true, "this", "Screen"},                // no punctuation, trigger at both ends
        {"fix", "so please fix the sign-up form", 10, true, "so please fix the sign-up form", "Sign-up form"},
        {"this", "\xFF\xC3 this \xE2\x80", 10, true, "\xFF\xC3 this \xE2\x80", "Screen"},  // not UTF-8
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.context);
        const auto candidate = this->candidate(c.trigger, c.start, c.context, c.anchored ? std::optional(kAnchor) : std::nullopt);
        const auto item = provider.analyze(candidate, files.folder.path(), {});
        ASSERT_EQ(item.has_value(), c.quote.has_value());
        if (!item) continue;
        EXPECT_EQ(item->quote, *c.quote);
        EXPECT_EQ(item->component, c.component);
        EXPECT_EQ(item->evidenceFramePaths.size(), c.anchored ? 3u : 1u);
        EXPECT_EQ(item->evidenceFramePaths[0], "frames/" + frameFileName(candidate.id, kMomentFrameIndex));
        EXPECT_EQ(item->observed == "No small visual change was detected at this moment.", !c.anchored);
    }
}

}  // namespace
}  // namespace quillmer::testing
