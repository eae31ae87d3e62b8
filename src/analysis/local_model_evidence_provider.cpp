#include "analysis/local_model_evidence_provider.h"

#include "analysis/candidate_frames.h"
#include "analysis/gemini_evidence_analyzer.h"
#include "core/base64.h"

namespace quillmer {

LocalModelEvidenceProvider::LocalModelEvidenceProvider(const LocalModelEndpoint& endpoint, std::string modelName,
                                                       HttpTransport& transport, LocalModelTimeouts timeouts,
                                                       size_t concurrency)
    : chat_(endpoint, std::move(modelName), transport, timeouts), concurrency_(concurrency) {}

std::optional<GroundedFeedbackItem> LocalModelEvidenceProvider::analyze(
    const EvidenceBundleDocument::Candidate& candidate, const std::filesystem::path& bundleDirectory,
    std::stop_token stop) {
    const auto appendParts = [&](std::string& body) {
        appendTextPart(body, GeminiEvidenceAnalyzer::prompt(candidate));
        const auto outcome = forEachCandidateFrame(
            candidate, bundleDirectory, [&](const std::string&, std::string_view mimeType, std::string_view bytes) {
                body += ",{\"type\":\"image_url\",\"image_url\":{\"url\":\"data:";
                body += mimeType;
                body += ";base64,";
                appendBase64(body, bytes);
                body += "\"}}";
            });
        if (outcome != CandidateFramesOutcome::read)
            throw LocalModelError::framesRefused(candidateFramesRefusal(outcome, candidate.id));
    };
    const Json answer = chat_.ask("quillmer_feedback", GeminiEvidenceAnalyzer::responseSchema(), appendParts, stop);
    std::optional<FeedbackPayload> payload;
    try {
        payload = GeminiEvidenceAnalyzer::decodeAnswer(answer);
    } catch (const DecodingError&) {
        throw LocalModelError::unexpectedAnswer();
    }
    if (!payload) return std::nullopt;
    return GeminiEvidenceAnalyzer::groundedItem(*payload, candidate);
}

}  // namespace quillmer
