// Moment detection over a 10-hour meeting transcript (12,000 segments, one every 3 seconds), and
// over 100,000 cues packed into 20 seconds, where every scoring window holds every cue. The packed
// case is compared with the obvious alternative, which rebuilds each segment's context from its
// window (results checked equal on a smaller packed transcript first).
// Goal: under 50 ms per run for ten hours; packed cues near-linear.  Run: build/bench/moment_detection_bench
#include <benchmark/benchmark.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "evidence/feedback_vocabulary.h"
#include "evidence/moment_detection.h"

namespace {

quillmer::LocalTranscript tenHourTranscript() {
    // Mostly ordinary talk, with pointing requests, demonstrations and questions mixed in.
    static const char* const lines[] = {
        "Okay so this is the dashboard we shipped last week, and the numbers come from the warehouse",
        "Can we move this button here so it lines up with the search field?",
        "I think the team liked it overall, but there were a few questions about the onboarding flow",
        "You need to fix the header, it overlaps the logo on smaller screens",
        "Do you need anything else from me before the review on Thursday?",
        "Let's hide the sidebar when the window is narrow, it takes too much room",
        "Right, and then I can remove this filter and the chart updates immediately",
        "Thanks, that's it from my side. Über-long names like Größenübersicht still wrap badly.",
        "We should probably keep the old export button for a while instead of replacing it",
        "Yeah, that makes sense to me, let's talk about the timeline later",
    };
    quillmer::LocalTranscript transcript;
    constexpr int kSegments = 10 * 3600 / 3;
    transcript.segments.reserve(kSegments);
    for (int i = 0; i < kSegments; ++i) {
        quillmer::LocalTranscriptSegment segment;
        segment.startSeconds = i * 3.0;
        segment.durationSeconds = 2.6;
        segment.text = lines[(i * 7 + i / 10) % 10];
        transcript.segments.push_back(std::move(segment));
    }
    return transcript;
}

void findMomentsTenHours(benchmark::State& state) {
    const auto transcript = tenHourTranscript();
    size_t found = 0;
    for (auto _ : state) {
        auto moments = quillmer::findMoments(transcript);
        found = moments.size();
        benchmark::DoNotOptimize(moments);
    }
    state.counters["segments"] = static_cast<double>(transcript.segments.size());
    state.counters["moments"] = static_cast<double>(found);
}
BENCHMARK(findMomentsTenHours)->Unit(benchmark::kMillisecond);

// `count` short cues spread evenly over 20 seconds, as a hostile subtitle file might hold them.
quillmer::LocalTranscript packedTranscript(int count) {
    // No request phrase anywhere, so every window is read to its end.
    static const char* const lines[] = {"please", "move this", "okay", "here", "you need to fix the header", "so"};
    quillmer::LocalTranscript transcript;
    transcript.segments.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        quillmer::LocalTranscriptSegment segment;
        segment.startSeconds = 20.0 * i / count;
        segment.durationSeconds = 0.001;
        segment.text = lines[i % 6];
        transcript.segments.push_back(std::move(segment));
    }
    return transcript;
}

// The obvious alternative (what findMoments did before the sweep): each segment's window visited
// member by member, its request words gathered and its joined text scanned for request phrases.
std::vector<quillmer::SelectedMoment> rescanningFindMoments(const quillmer::LocalTranscript& transcript) {
    using namespace quillmer;
    struct Scored {
        int64_t index;
        std::string trigger;
        int64_t score;
    };
    std::vector<std::string> normalized;
    std::vector<uint32_t> masks;
    for (const auto& segment : transcript.segments) {
        const auto words = tokenize(segment.text);
        normalized.push_back(normalizedText(words));
        uint32_t mask = 0;
        for (const auto& word : words)
            for (size_t r = 0; r < kRequestWords.size(); ++r)
                if (word == kRequestWords[r]) mask |= 1u << r;
        masks.push_back(mask);
    }
    std::vector<Scored> moments;
    for (size_t i = 0; i < transcript.segments.size(); ++i) {
        const auto words = tokenize(transcript.segments[i].text);
        const auto trigger = triggerWord(words);
        if (!trigger) continue;
        uint32_t seen = 0;
        bool phrase = false;
        std::string tail;  // the joined text's last few characters, enough for a phrase across a join
        for (const size_t k : contextSegments(transcript, i, kScoringContextSeconds)) {
            seen |= masks[k];
            if (phrase || normalized[k].empty()) continue;
            std::string around = tail.empty() ? normalized[k] : tail + ' ' + normalized[k];
            phrase = containsAnyPhrase(around, kRequestPhrases);
            tail = around.substr(around.size() - std::min<size_t>(around.size(), 10));
        }
        const int64_t requestScore = (phrase ? 2 : 0) + std::popcount(seen);
    const std::string own = normalizedText(words);
        const bool demonstration = containsAnyPhrase(own, kDemonstrationPhrases);
        const bool modal = isListedWord(kModalWords, *trigger);
        int64_t score = 0;
        if (isListedWord(kActionWords, *trigger)) {
            if (demonstration) continue;
            score = requestScore + 3;
        } else if (modal && needIsRequest(words, *trigger)) {
            score = requestScore + 6;
        } else {
            if (modal || demonstration || requestScore < 2) continue;
            score = requestScore;
        }
        moments.push_back({static_cast<int64_t>(i), *trigger, score});
    }
    const auto start = [&](const Scored& m) { return transcript.segments[static_cast<size_t>(m.index)].startSeconds; };
    std::stable_sort(moments.begin(), moments.end(), [&](const Scored& a, const Scored& b) {
        return a.score != b.score ? a.score > b.score : start(a) < start(b);
    });
    std::vector<const Scored*> accepted;
    for (const auto& m : moments) {
        if (accepted.size() >= kMaximumMoments) break;
        if (std::all_of(accepted.begin(), accepted.end(),
                        [&](const Scored* o) { return std::fabs(start(m) - start(*o)) >= kMomentSpacingSeconds; }))
            accepted.push_back(&m);
    }
    std::stable_sort(accepted.begin(), accepted.end(), [&](const Scored* a, const Scored* b) { return start(*a) < start(*b); });
    std::vector<SelectedMoment> selected;
    for (const auto* m : accepted) selected.push_back({m->index, m->trigger});
    return selected;
}

void findMomentsPackedCues(benchmark::State& state) {
    static const bool agree = [] {
        for (const auto& transcript : {packedTranscript(3000), tenHourTranscript()})
            if (quillmer::findMoments(transcript) != rescanningFindMoments(transcript)) return false;
        return true;
    }();
    if (!agree) {
        std::fprintf(stderr, "findMoments and the rescanning alternative disagree\n");
        std::abort();
    }
    const auto transcript = packedTranscript(static_cast<int>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(quillmer::findMoments(transcript));
    state.counters["cues"] = static_cast<double>(transcript.segments.size());
}
BENCHMARK(findMomentsPackedCues)->Arg(20'000)->Arg(100'000)->Unit(benchmark::kMillisecond)->Iterations(1);

// The alternative on the same cues; the ratio of the two times is the report.
void rescanningPackedCues(benchmark::State& state) {
    const auto transcript = packedTranscript(static_cast<int>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(rescanningFindMoments(transcript));
    state.counters["cues"] = static_cast<double>(transcript.segments.size());
}
BENCHMARK(rescanningPackedCues)->Arg(20'000)->Arg(100'000)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
