#include "evidence/moment_detection.h"

#include <gtest/gtest.h>

#include "evidence/feedback_vocabulary.h"
#include "support/test_sessions.h"

namespace quillmer {
namespace {

using Line = testing::SpokenLine;
const auto transcriptOf = testing::transcriptWith;

std::optional<CandidateMoment> scoreAlone(const std::string& text) {
    const auto transcript = transcriptOf({{10, 2, text}});
    return scoreSegment(0, transcript.segments[0], transcript);
}

TEST(Tokens, SplitAtEveryNonLetterNonNumberAndLowerCase) {
    EXPECT_EQ(tokenize("Don't move it!"), (std::vector<std::string>{"don", "t", "move", "it"}));
    EXPECT_EQ(tokenize("  Shouldn't -- v2.0  "), (std::vector<std::string>{"shouldn", "t", "v2", "0"}));
    EXPECT_EQ(tokenize("ÜBER Straße—Çava…"), (std::vector<std::string>{"über", "straße", "çava"}));
    EXPECT_EQ(tokenize("I’ll fix this"), (std::vector<std::string>{"i", "ll", "fix", "this"}));
    EXPECT_EQ(tokenize("日本語のテキスト١٢"), (std::vector<std::string>{"日本語のテキスト١٢"}));
    EXPECT_TRUE(tokenize("\xff\xfe ...").empty());  // invalid UTF-8 is a separator, never a crash
    EXPECT_EQ(normalizedText(tokenize("What I'll need")), "what i ll need");
}

TEST(TriggerWord, FollowsTheRulesInOrder) {
    EXPECT_EQ(triggerWord(tokenize("Move this, you must")), "must");       // a modal anywhere wins
    EXPECT_EQ(triggerWord(tokenize("Hide this panel")), "hide");           // then a leading action word
    EXPECT_EQ(triggerWord(tokenize("Here we fix it")), "here");            // then a deictic word
    EXPECT_EQ(triggerWord(tokenize("We could add a row")), "add");         // then any action word
    EXPECT_EQ(triggerWord(tokenize("Thanks everyone")), std::nullopt);
}

TEST(NeedCheck, NegationsFailAndRequestsPass) {
    EXPECT_TRUE(needIsRequest(tokenize("we should talk"), "should"));
    EXPECT_FALSE(needIsRequest(tokenize("do you need anything"), "need"));
    EXPECT_FALSE(needIsRequest(tokenize("I don't need you to fix it"), "need"));  // negation beats the action word
    EXPECT_TRUE(needIsRequest(tokenize("I need this"), "need"));                  // deictic word
    EXPECT_TRUE(needIsRequest(tokenize("we need coffee"), "need"));               // "we need"
    EXPECT_FALSE(needIsRequest(tokenize("I need coffee"), "need"));
}

TEST(ScoreSegment, WorkedExamples) {
    EXPECT_EQ(scoreAlone("Can we move this button here?"), (CandidateMoment{0, "this", 3}));
    EXPECT_EQ(scoreAlone("I can remove this"), std::nullopt);
    EXPECT_EQ(scoreAlone("This is the dashboard"), std::nullopt);
    EXPECT_EQ(scoreAlone("Remove the banner"), (CandidateMoment{0, "remove", 4}));
    EXPECT_EQ(scoreAlone("You need to fix the header"), (CandidateMoment{0, "need", 8}));
    EXPECT_EQ(scoreAlone("Do you need anything else"), std::nullopt);
    EXPECT_EQ(scoreAlone("We should talk later"), (CandidateMoment{0, "should", 7}));
    EXPECT_EQ(scoreAlone("Thanks, that's it"), std::nullopt);
    EXPECT_EQ(scoreAlone("I need coffee"), std::nullopt);  // a modal whose check fails is never a moment
    EXPECT_EQ(scoreAlone("The totals are wrong"), (CandidateMoment{0, "wrong", 4}));
    EXPECT_EQ(scoreAlone("The menu shows wrong totals"), std::nullopt);  // a demonstration
    EXPECT_EQ(scoreAlone("You can hide it"), std::nullopt);  // action trigger in a demonstration
}

TEST(ScoreSegment, RequestSignalsComeFromTheTwelveSecondContext) {
    // "this" alone has no request signal; the neighbours touching the window (24..26 grown by
    // 12 s: 12..38, both ends inclusive) add "please" and "make", those outside add nothing.
    const auto transcript = transcriptOf({{0, 1, "keep"},
                                          {11, 1, "please"},
                                          {24, 2, "look at this"},
                                          {38, 1, "make"},
                                          {38.01, 1, "better"}});
    EXPECT_EQ(scoreSegment(2, transcript.segments[2], transcript), (CandidateMoment{2, "this", 2}));
    // A request phrase may span two segments' joined text.
    const auto spanning = transcriptOf({{0, 1, "so can"}, {2, 1, "we look at this"}});
    EXPECT_EQ(scoreSegment(1, spanning.segments[1], spanning), (CandidateMoment{1, "this", 2}));
    const auto threeParts = transcriptOf({{0, 1, "I do"}, {2, 1, "not"}, {3, 1, "like this one"}});
    EXPECT_EQ(scoreSegment(2, threeParts.segments[2], threeParts), (CandidateMoment{2, "this", 2}));
    const auto noPhrase = transcriptOf({{0, 1, "I do"}, {2, 1, "not really"}, {3, 1, "like this one"}});
    EXPECT_EQ(scoreSegment(2, noPhrase.segments[2], noPhrase), std::nullopt);
    // Each request word counts once however often it is said.
    const auto repeated = transcriptOf({{0, 2, "look, this fix fix fix"}, {3, 1, "fix"}});
    EXPECT_EQ(scoreSegment(0, repeated.segments[0], repeated), std::nullopt);  // score 1 < 2
}

TEST(ContextSegments, InclusiveBoundsAndAnyOrder) {
    const auto transcript = transcriptOf({{0, 5, "a"}, {10, 1, "b"}, {20, 2, "c"}, {34, 1, "d"}, {34.01, 1, "e"}});
    // Segment 2 spans 20..22; window 12 s: 8..34 inclusive. "a" ends at 5 < 8; "d" starts at 34.
    EXPECT_EQ(contextSegments(transcript, 2, 12), (std::vector<size_t>{1, 2, 3}));
    // The lower bound is clamped at 0 and a long earlier segment that reaches in belongs.
    const auto longFirst = transcriptOf({{0, 40, "long"}, {25, 1, "x"}, {50, 1, "y"}});
    EXPECT_EQ(contextSegments(longFirst, 2, 12), (std::vector<size_t>{0, 2}));
    // Segments out of start order give the same answer, in transcript order.
    const auto shuffled = transcriptOf({{34, 1, "d"}, {20, 2, "c"}, {0, 5, "a"}, {10, 1, "b"}});
    EXPECT_EQ(contextSegments(shuffled, 1, 12), (std::vector<size_t>{0, 1, 3}));
    // The segment itself belongs even with a nonsensical negative duration.
    const auto negative = transcriptOf({{40, -30, "odd"}});
    EXPECT_EQ(contextSegments(negative, 0, 12), (std::vector<size_t>{0}));
}

TEST(FindMoments, SpacingKeepsTheStrongerOrTheEarlier) {
    const auto close = transcriptOf({{100, 1, "Remove the banner"}, {111.9, 1, "You need to fix the header"}});
    EXPECT_EQ(findMoments(close), (std::vector<SelectedMoment>{{1, "need"}}));

    const auto tie = transcriptOf({{100, 1, "Remove the banner"}, {111.9, 1, "Remove the footer"}});
    EXPECT_EQ(findMoments(tie), (std::vector<SelectedMoment>{{0, "remove"}}));

    const auto apart = transcriptOf({{100, 1, "Remove the banner"}, {112, 1, "Remove the footer"}});
    EXPECT_EQ(findMoments(apart), (std::vector<SelectedMoment>{{0, "remove"}, {1, "remove"}}));

    EXPECT_TRUE(findMoments(transcriptOf({})).empty());
    EXPECT_TRUE(findMoments(transcriptOf({{0, 1, "hello there everyone"}})).empty());
}

TEST(FindMoments, KeepsTheFortyEightBestInTimeOrder) {
    // 60 well-separated moments; every fifth is a modal request (score 7), the rest imperatives (4).
    std::vector<Line> lines;
    for (int i = 0; i < 60; ++i)
        lines.push_back({i * 30.0, 1, i % 5 == 0 ? "We should see it" : "Remove the banner"});
    const auto moments = findMoments(transcriptOf(lines));
    ASSERT_EQ(moments.size(), 48u);
    for (size_t i = 1; i < moments.size(); ++i) EXPECT_LT(moments[i - 1].index, moments[i].index);
    // All 12 strong ones are kept; of the 48 imperatives, the 36 earliest.
    size_t strong = 0;
    for (const auto& m : moments) strong += m.trigger == "should";
    EXPECT_EQ(strong, 12u);
    int64_t lastImperative = -1;
    for (const auto& m : moments)
        if (m.trigger == "remove") lastImperative = m.index;
    EXPECT_EQ(lastImperative, 44);  // 1..44 holds 36 indices that are not multiples of 5
}

}  // namespace
}  // namespace quillmer
