// The shared encoder against nlohmann's own dump on a realistic transcript-sized document.
// Run: build/bench/json_encoder_bench   (compare the two rows: the ratio is what matters)
#include <benchmark/benchmark.h>

#include "core/json.h"

namespace {

quillmer::Json transcriptLikeDocument() {
    quillmer::Json segments = quillmer::Json::array();
    for (int i = 0; i < 2000; ++i) {
        segments.push_back({{"confidence", 0.87},
                            {"durationSeconds", 2.5 + i % 7 * 0.125},
                            {"id", "6F1C2A3B-0D4E-4F5A-9B6C-7D8E9F0A1B2C"},
                            {"sourceTrack", "system-audio.m4a"},
                            {"speaker", {{"id", "speaker_1"}, {"label", "Speaker 1"}}},
                            {"startSeconds", 1000.25 + i * 2.75},
                            {"text", "You need to fix the header/footer here, it overlaps the logo."}});
    }
    return {{"audioFile", "system-audio.m4a"}, {"segments", segments}, {"schemaVersion", 1}};
}

void sharedEncoder(benchmark::State& state) {
    const auto document = transcriptLikeDocument();
    for (auto _ : state) benchmark::DoNotOptimize(quillmer::encodeJSON(document));
}
BENCHMARK(sharedEncoder);

void nlohmannDump(benchmark::State& state) {
    const auto document = transcriptLikeDocument();
    for (auto _ : state) benchmark::DoNotOptimize(document.dump(2));
}
BENCHMARK(nlohmannDump);

}  // namespace
