// Moment detection over a 10-hour meeting transcript (12,000 segments, one every 3 seconds).
// Goal: under 50 ms per run.  Run: build/bench/moment_detection_bench
#include <benchmark/benchmark.h>

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

}  // namespace
