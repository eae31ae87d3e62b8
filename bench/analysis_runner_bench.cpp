// Wall time of the evidence analysis runner for 16 candidates against a provider whose every answer
// takes 200 ms, beside the same 16 calls made one at a time. With four calls in flight the runner
// should take four rounds: goal within 10 % of 800 ms, about a quarter of the serial time.
// Run: build/bench/analysis_runner_bench [milliseconds per answer]
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "analysis/evidence_analysis_runner.h"
#include "support/fake_evidence_provider.h"
#include "support/temporary_folder.h"

using Clock = std::chrono::steady_clock;

namespace {

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    using namespace quillmer;
    const int answerMilliseconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
    testing::TemporaryFolder folder;
    const auto candidates = testing::writeEvidenceBundle(folder.path(), 16, 3, 1 << 20);
    testing::FakeEvidenceProvider provider;
    provider.delay = std::chrono::milliseconds(answerMilliseconds);

    auto start = Clock::now();
    EvidenceAnalysisRunOptions options;
    options.limit = 16;
    const auto report = EvidenceAnalysisRunner(provider).run(folder.path(), options);
    const double runner = millisecondsSince(start);

    start = Clock::now();
    for (const auto& candidate : candidates) provider.analyze(candidate, folder.path(), {});
    const double serial = millisecondsSince(start);

    const double goal = 4.0 * answerMilliseconds;
    std::printf("16 candidates, %d ms per answer, %zu items\n", answerMilliseconds, report.items.size());
    std::printf("runner (4 in flight): %8.1f ms  (goal %.0f ms ± 10 %%: %s; most in flight: %d)\n", runner, goal,
                runner <= goal * 1.1 ? "met" : "missed", provider.maxInFlight);
    std::printf("one at a time:        %8.1f ms\n", serial);
    std::printf("speed-up:             %8.2f×\n", serial / runner);
    return runner <= goal * 1.1 ? 0 : 1;
}
