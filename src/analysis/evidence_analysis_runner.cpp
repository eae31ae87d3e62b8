#include "analysis/evidence_analysis_runner.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "analysis/gemini_evidence_analyzer.h"
#include "capture/session_progress_files.h"
#include "core/atomic_file.h"

namespace quillmer {

namespace {

Json readJSONFile(const std::filesystem::path& file) { return parseJSON(readWholeFile(file)); }

std::vector<EvidenceAnalysisDiagnostic> readDiagnostics(const std::filesystem::path& file) {
    std::vector<EvidenceAnalysisDiagnostic> diagnostics;
    if (!decodeJSONValue(readJSONFile(file), diagnostics))
        throw DecodingError("analysis-diagnostics.json is not a list of analysis diagnostics.");
    return diagnostics;
}

std::string describe(std::exception_ptr failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const std::exception& error) {
        return error.what();
    } catch (...) {
        return "An unknown error occurred.";
    }
}

}  // namespace

EvidenceAnalysisDiagnostic EvidenceAnalysisDiagnostic::fromJSON(const Json& json) {
    const JsonObjectReader reader(json, "EvidenceAnalysisDiagnostic");
    return {reader.required<Uuid>("id"), reader.required<Uuid>("candidateID"), reader.required<std::string>("message")};
}

Json EvidenceAnalysisDiagnostic::toJSON() const {
    Json json = Json::object();
    putJSON(json, "id", id);
    putJSON(json, "candidateID", candidateID);
    putJSON(json, "message", message);
    return json;
}

AllCandidatesFailedError::AllCandidatesFailedError(size_t failures, std::string_view analyser)
    : Error(std::string(analyser) + " could not analyze any evidence candidates (" + std::to_string(failures) +
            " request failures). See analysis-diagnostics.json in the local evidence bundle."),
      failures_(failures) {}

std::set<Uuid> unfinishedCandidateIDs(const std::filesystem::path& bundleDirectory) {
    const auto file = bundleDirectory / kAnalysisDiagnosticsFileName;
    std::error_code missing;
    if (!std::filesystem::exists(file, missing)) return {};
    std::set<Uuid> ids;
    for (const auto& diagnostic : readDiagnostics(file)) ids.insert(diagnostic.candidateID);
    return ids;
}

GroundedFeedbackReport EvidenceAnalysisRunner::run(const std::filesystem::path& bundleDirectory,
                                                   const EvidenceAnalysisRunOptions& options, std::stop_token stop) {
    const auto bundle = EvidenceBundleDocument::fromJSON(readJSONFile(bundleDirectory / kEvidenceFileName));

    std::vector<EvidenceBundleDocument::Candidate> selected;
    for (const auto& candidate : bundle.candidates)
        if (!options.candidateIDs || options.candidateIDs->contains(candidate.id)) selected.push_back(candidate);
    if (options.limit) selected.resize(std::min(selected.size(), static_cast<size_t>(std::max(0, *options.limit))));

    std::vector<GroundedFeedbackItem> items;
    std::vector<EvidenceAnalysisDiagnostic> diagnostics;
    if (options.candidateIDs) {
        items = GroundedFeedbackReport::fromJSON(readJSONFile(bundleDirectory / kFeedbackFileName)).items;
        // Diagnostics of the candidates about to be retried go; the others stay unfinished.
        for (auto& diagnostic : readDiagnostics(bundleDirectory / kAnalysisDiagnosticsFileName))
            if (std::none_of(selected.begin(), selected.end(),
                             [&](const auto& candidate) { return candidate.id == diagnostic.candidateID; }))
                diagnostics.push_back(std::move(diagnostic));
    }

    size_t succeeded = 0;
    analyseAll(selected, bundleDirectory, options, stop, [&](const CandidateOutcome& outcome) {
        if (outcome.diagnostic) {
            diagnostics.push_back({Uuid::random(), outcome.candidateID, *outcome.diagnostic});
            return;
        }
        ++succeeded;
        if (!outcome.item) return;  // nothing grounded: an earlier item for the candidate stays
        std::erase_if(items, [&](const auto& item) { return item.candidateID == outcome.candidateID; });
        items.push_back(*outcome.item);
    });

    // A fresh run lists its items in meeting order, whatever order the calls finished in; a retry
    // adds its items after the earlier ones.
    if (!options.candidateIDs) std::ranges::stable_sort(items, {}, [&](const GroundedFeedbackItem& item) {
        return std::ranges::find(bundle.candidates, item.candidateID, &EvidenceBundleDocument::Candidate::id) -
               bundle.candidates.begin();
    });

    GroundedFeedbackReport report;
    report.provider = provider_.providerName();
    report.model = provider_.modelName();
    report.createdAt = std::chrono::system_clock::now();
    report.items = std::move(items);
    Json diagnosticsJSON = Json::array();
    for (const auto& diagnostic : diagnostics) diagnosticsJSON.push_back(diagnostic.toJSON());
    writeFileAtomically(bundleDirectory / kFeedbackFileName, encodeJSON(report.toJSON()));
    writeFileAtomically(bundleDirectory / kFeedbackMarkdownFileName, GeminiEvidenceAnalyzer::markdown(report, bundle.candidates));
    writeFileAtomically(bundleDirectory / kAnalysisDiagnosticsFileName, encodeJSON(diagnosticsJSON));

    if (!diagnostics.empty() && succeeded == 0) throw AllCandidatesFailedError(diagnostics.size(), provider_.analyserName());
    return report;
}

void EvidenceAnalysisRunner::analyseAll(
    const std::vector<EvidenceBundleDocument::Candidate>& selected, const std::filesystem::path& bundleDirectory,
    const EvidenceAnalysisRunOptions& options, std::stop_token stop,
    const std::function<void(const CandidateOutcome&)>& merge) {
    std::mutex mutex;
    std::condition_variable_any arrived;
    std::deque<CandidateOutcome> finished;
    std::stop_source calls;
    const std::stop_callback forward(stop, [&] { calls.request_stop(); });

    // Declared last so that leaving this function, by any path, stops and joins the calls in flight
    // before the queue they report to goes away.
    std::vector<std::jthread> threads;
    threads.reserve(selected.size());
    size_t next = 0, running = 0, done = 0;
    const auto startNext = [&] {
        const auto* candidate = &selected[next++];
        ++running;
        threads.emplace_back([&, candidate] {
            CandidateOutcome outcome{candidate->id, std::nullopt, std::nullopt};
            try {
                outcome.item = provider_.analyze(*candidate, bundleDirectory, calls.get_token());
            } catch (...) {
                outcome.diagnostic = describe(std::current_exception());
            }
            const std::lock_guard lock(mutex);
            finished.push_back(std::move(outcome));
            arrived.notify_all();
        });
    };

    const size_t maxRunning = std::clamp<size_t>(provider_.maxConcurrentCalls(), 1, kMaxConcurrentCalls);
    while (done < selected.size()) {
        while (running < maxRunning && next < selected.size()) startNext();
        std::unique_lock lock(mutex);
        arrived.wait(lock, stop, [&] { return !finished.empty(); });
        if (stop.stop_requested()) throw CancellationError();
        auto outcome = std::move(finished.front());
        finished.pop_front();
        lock.unlock();
        --running;
        ++done;
        merge(outcome);
        if (options.progress) options.progress(outcome, done, selected.size());
    }
    if (stop.stop_requested()) throw CancellationError();
}

}  // namespace quillmer
