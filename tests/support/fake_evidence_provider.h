#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "analysis/evidence_analysis_provider.h"
#include "engine/analysis_connection.h"
#include "core/error.h"
#include "support/export_builders.h"

namespace quillmer::testing {

// Answers from `script` (an item by default) after `delay`, recording the calls' start order and
// the most in flight at once.
class FakeEvidenceProvider final : public EvidenceAnalysisProvider {
public:
    enum class Answer { item, nothingGrounded, failure };

    std::string providerName() const override { return "gemini"; }
    std::string modelName() const override { return "gemini-3.6-flash"; }

    std::optional<GroundedFeedbackItem> analyze(const EvidenceBundleDocument::Candidate& candidate,
                                                const std::filesystem::path&, std::stop_token stop) override {
        Answer answer = Answer::item;
        {
            std::unique_lock lock(mutex_);
            started.push_back(candidate.id);
            maxInFlight = std::max(maxInFlight, ++inFlight_);
            if (const auto found = script.find(candidate.id); found != script.end()) answer = found->second;
            changed_.wait_for(lock, stop, delay, [] { return false; });
            --inFlight_;
        }
        if (stop.stop_requested()) throw CancellationError();
        if (answer == Answer::failure) throw Error("The relay is down for " + candidate.id.toString() + ".");
        if (answer == Answer::nothingGrounded) return std::nullopt;
        return GroundedFeedbackItem{Uuid::random(), candidate.id, "Button", "It is grey", "Make it blue",
                                    candidate.transcriptContext, 0.8, {}};
    }

    std::map<Uuid, Answer> script;
    std::chrono::milliseconds delay{0};
    std::vector<Uuid> started;
    int maxInFlight = 0;

private:
    std::mutex mutex_;
    std::condition_variable_any changed_;
    int inFlight_ = 0;
};

// A connection whose every provider is `provider`.
inline AnalysisConnection connectionTo(std::shared_ptr<EvidenceAnalysisProvider> provider) {
    AnalysisConnection connection;
    connection.route.kind = AnalysisRouteChoice::Kind::hosted;
    connection.route.relayEndpoint = "http://127.0.0.1:9";
    connection.makeProvider = [provider](const Uuid&) { return provider; };
    return connection;
}

}  // namespace quillmer::testing
