#include "analysis/gemini_evidence_provider.h"

#include <algorithm>
#include <cstdlib>

#include "analysis/candidate_frames.h"
#include "analysis/gemini_evidence_analyzer.h"
#include "core/base64.h"
#include "core/json.h"
#include "core/utf8.h"

namespace quillmer {

namespace {

constexpr size_t kMaxAnswerBytes = 4 << 20;
constexpr auto kRetryAfterCap = std::chrono::seconds(8);

// Only names that can sit in a URL path segment as they are; anything else could change the URL.
bool isValidModelName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." && std::ranges::all_of(name, [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-' ||
               c == '_';
    });
}

DecodingError contractMismatch() {
    return DecodingError("Gemini returned an answer that did not match the expected contract.");
}

// candidates[0].content.parts[0].text, or nothing when any step is missing.
std::optional<std::string> answerText(const Json& envelope) {
    if (!envelope.is_object()) throw contractMismatch();
    const auto candidates = envelope.find("candidates");
    if (candidates == envelope.end() || !candidates->is_array() || candidates->empty()) return std::nullopt;
    const Json& first = (*candidates)[0];
    if (!first.is_object() || !first.contains("content") || !first["content"].is_object()) return std::nullopt;
    const Json& content = first["content"];
    const auto parts = content.find("parts");
    if (parts == content.end() || !parts->is_array() || parts->empty()) return std::nullopt;
    const Json& part = (*parts)[0];
    if (!part.is_object() || !part.contains("text")) return std::nullopt;
    if (!part["text"].is_string()) throw contractMismatch();
    return part["text"].get<std::string>();
}

}  // namespace

GeminiAnalysisError GeminiAnalysisError::keychainFailure(int32_t status) {
    return {Case::keychainFailure, "Quillmer could not read its Gemini keyring entry (" + std::to_string(status) + ")."};
}
GeminiAnalysisError GeminiAnalysisError::candidateTooLarge(const Uuid& candidateID) {
    return {Case::candidateTooLarge, candidateFramesRefusal(CandidateFramesOutcome::tooLarge, candidateID)};
}
GeminiAnalysisError GeminiAnalysisError::apiFailure(std::optional<long> statusCode, const std::string& detail) {
    return {Case::apiFailure, "Gemini analysis failed" +
                                  (statusCode ? " (HTTP " + std::to_string(*statusCode) + ")" : std::string()) + ": " +
                                  detail};
}
GeminiAnalysisError GeminiAnalysisError::allCandidatesFailed(int failures) {
    return {Case::allCandidatesFailed, "Gemini could not analyze any evidence candidates (" + std::to_string(failures) +
                                           " request failures). See analysis-diagnostics.json in the local evidence "
                                           "bundle."};
}
GeminiAnalysisError GeminiAnalysisError::missingKey() {
    return {Case::missingKey, "Add a Gemini development key to the Quillmer keyring entry before analysis."};
}
GeminiAnalysisError GeminiAnalysisError::invalidModel() {
    return {Case::invalidModel, "The configured Gemini model identifier is invalid."};
}
GeminiAnalysisError GeminiAnalysisError::networkTimedOut() {
    return {Case::networkTimedOut, "Gemini analysis exceeded Quillmer's two-minute candidate limit."};
}

std::string geminiBaseURLFromEnvironment() {
    const char* value = std::getenv("QUILLMER_GEMINI_BASE_URL");
    return value && *value ? value : kDefaultGeminiBaseURL;
}

GeminiEvidenceProvider::GeminiEvidenceProvider(std::string modelName, std::string key, std::string providerName,
                                               HttpTransport& transport, std::string baseURL, RetrySleep sleep,
                                               GeminiTimeouts timeouts)
    : modelName_(std::move(modelName)),
      key_(std::move(key)),
      providerName_(std::move(providerName)),
      transport_(transport),
      baseURL_(std::move(baseURL)),
      sleep_(std::move(sleep)),
      timeouts_(timeouts) {
    while (baseURL_.ends_with('/')) baseURL_.pop_back();
}

std::optional<GroundedFeedbackItem> GeminiEvidenceProvider::analyze(const EvidenceBundleDocument::Candidate& candidate,
                                                                    const std::filesystem::path& bundleDirectory,
                                                                    std::stop_token stop) {
    if (key_.empty()) throw GeminiAnalysisError::missingKey();
    if (!isValidModelName(modelName_) || !(baseURL_.starts_with("http://") || baseURL_.starts_with("https://")))
        throw GeminiAnalysisError::invalidModel();

    // Streamed like the relay envelope: the frames exist once, as Base64 inside the body.
    std::string body = "{\"contents\":[{\"role\":\"user\",\"parts\":[{\"text\":" +
                       encodeCompactJSON(GeminiEvidenceAnalyzer::prompt(candidate)) + "}";
    const auto outcome = forEachCandidateFrame(
        candidate, bundleDirectory, [&](const std::string&, std::string_view mimeType, std::string_view bytes) {
            body += ",{\"inlineData\":{\"mimeType\":" + encodeCompactJSON(std::string(mimeType)) + ",\"data\":\"";
            appendBase64(body, bytes);
            body += "\"}}";
        });
    if (outcome == CandidateFramesOutcome::notBundleRelative)
        throw GeminiAnalysisError::apiFailure(std::nullopt, candidateFramesRefusal(outcome, candidate.id));
    if (outcome == CandidateFramesOutcome::tooLarge) throw GeminiAnalysisError::candidateTooLarge(candidate.id);
    const Json generationConfig = {{"responseMimeType", "application/json"},
                                   {"responseSchema", GeminiEvidenceAnalyzer::responseSchema()}};
    body += "]}],\"generationConfig\":" + encodeCompactJSON(generationConfig) + "}";

    HttpRequest request;
    request.method = "POST";
    request.url = baseURL_ + "/v1beta/models/" + modelName_ + ":generateContent";
    request.headers = {{"Content-Type", "application/json"}, {"x-goog-api-key", key_}};
    request.maxResponseBytes = kMaxAnswerBytes;
    request.body = std::move(body);
    const HttpResponse response = sendWithRetry(std::move(request), stop);

    Json envelope;
    try {
        envelope = parseJSON(response.body);
    } catch (const DecodingError&) {
        throw contractMismatch();
    }
    const std::optional<std::string> text = answerText(envelope);
    if (!text) return std::nullopt;
    std::optional<FeedbackPayload> payload;
    try {
        payload = GeminiEvidenceAnalyzer::decodeAnswer(parseJSON(*text));
    } catch (const DecodingError&) {
        throw contractMismatch();
    }
    if (!payload) return std::nullopt;
    return GeminiEvidenceAnalyzer::groundedItem(*payload, candidate);
}

HttpResponse GeminiEvidenceProvider::sendWithRetry(HttpRequest request, std::stop_token stop) const {
    const auto deadline = std::chrono::steady_clock::now() + timeouts_.candidate;
    const auto remaining = [&] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    };
    for (int attempt = 1;; ++attempt) {
        if (remaining().count() <= 0) throw GeminiAnalysisError::networkTimedOut();
        request.timeout = std::min(timeouts_.request, remaining());
        HttpResponse response;
        try {
            response = transport_.send(request, stop);
        } catch (const HttpTransportError& error) {
            if (error.kind() == HttpTransportError::Kind::responseTooLarge)
                throw GeminiAnalysisError::apiFailure(std::nullopt, "The answer was larger than allowed.");
            if (error.kind() == HttpTransportError::Kind::timedOut && remaining().count() <= 0)
                throw GeminiAnalysisError::networkTimedOut();
            if (!isPassingNetworkFailure(error) || attempt >= kMaxAnalysisAttempts) throw;
            sleep_(std::min(retryDelay(attempt, std::nullopt), std::max(remaining(), std::chrono::milliseconds(0))), stop);
            continue;
        }
        if (response.status >= 200 && response.status <= 299) return response;
        const bool retriable = response.status == 429 || (response.status >= 500 && response.status <= 599);
        if (!retriable || attempt >= kMaxAnalysisAttempts)
            throw GeminiAnalysisError::apiFailure(
                response.status, isValidUTF8(response.body) ? response.body : "Unknown Gemini response");
        const std::optional<std::string> header = response.header("Retry-After");
        sleep_(retryDelay(attempt, header ? std::optional<std::string_view>(*header) : std::nullopt, kRetryAfterCap),
               stop);
    }
}

}  // namespace quillmer
