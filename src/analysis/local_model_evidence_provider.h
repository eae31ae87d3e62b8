#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "analysis/evidence_analysis_provider.h"
#include "analysis/local_model_chat.h"
#include "analysis/local_model_endpoint.h"
#include "platform/http_transport.h"

namespace quillmer {

// Evidence analysis by a model server on this computer: the same prompt, frames and grounding
// rules as the other routes, nothing leaves the machine. A local server usually runs one request
// at a time, so the runner is told how many calls to make at once.
class LocalModelEvidenceProvider final : public EvidenceAnalysisProvider {
public:
    // Throws Error when the endpoint is not on this computer or the model name is not acceptable.
    LocalModelEvidenceProvider(const LocalModelEndpoint& endpoint, std::string modelName, HttpTransport& transport,
                               LocalModelTimeouts timeouts = {}, size_t concurrency = 1);

    std::string providerName() const override { return kLocalModelProviderName; }
    std::string analyserName() const override { return "The local model"; }
    std::string modelName() const override { return chat_.model(); }
    size_t maxConcurrentCalls() const override { return concurrency_; }
    // An answer that is not JSON of the requested shape throws LocalModelError::unexpectedAnswer.
    std::optional<GroundedFeedbackItem> analyze(const EvidenceBundleDocument::Candidate& candidate,
                                                const std::filesystem::path& bundleDirectory,
                                                std::stop_token stop) override;

private:
    LocalModelChat chat_;
    size_t concurrency_;
};

}  // namespace quillmer
