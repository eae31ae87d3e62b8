#include "analysis/gemini_summary_provider.h"

#include "core/json.h"
#include "core/utf8.h"

namespace quillmer {

namespace {

constexpr size_t kMaxAnswerBytes = 4 << 20;

constexpr const char* kSummaryInstructions =
    "Produce a factual meeting summary from the complete timestamped transcript below. The overview must be concise "
    "enough to scan before coding: 3\u20135 sentences and at most 100 words covering the purpose, major discussion, "
    "and outcome. Do not repeat the action list or narrate every speaker. Group the substantive discussion into "
    "3\u20138 topics for the exported Markdown only. Keep explicit decisions separate from requested work, and "
    "preserve unresolved questions. Do not infer facts absent from the transcript. Grounded proposed actions are "
    "supplied only to improve wording and must not replace transcript comprehension.\n\nACTION-ITEM AUDIT: inspect "
    "the entire transcript chronologically and return every distinct explicit request, agreed product change, "
    "promised follow-up, configuration or integration step, content/image/asset to collect, and operational task. "
    "Do not require a screenshot. Do not merge separate tasks merely because they concern the same screen. Exclude "
    "demonstrations of existing behavior and rejected ideas. Phrase each action as a concrete deliverable, "
    "preserving the responsible person or dependency when the transcript names one.\n\nCOMPLETE TRANSCRIPT\n";

Error summaryFailure(const std::string& text) { return Error(text); }

// candidates[0].content.parts[0].text, or empty when any step is missing.
std::string answerText(const Json& envelope) {
    const Json* node = &envelope;
    for (const char* key : {"candidates", "", "content", "parts", ""}) {
        if (*key == '\0') {
            if (!node->is_array() || node->empty()) return {};
            node = &(*node)[0];
        } else {
            if (!node->is_object() || !node->contains(key)) return {};
            node = &(*node)[key];
        }
    }
    if (!node->is_object() || !node->contains("text") || !(*node)["text"].is_string()) return {};
    return (*node)["text"].get<std::string>();
}

}  // namespace

std::string meetingSummaryPrompt(std::string_view transcriptLines, const std::vector<std::string>& groundedActions) {
    std::string prompt = kSummaryInstructions + std::string(transcriptLines) + "\n\nGROUNDED PROPOSED ACTIONS\n";
    for (size_t i = 0; i < groundedActions.size(); ++i) prompt += (i ? "\n- " : "- ") + groundedActions[i];
    return prompt;
}

Json meetingSummaryResponseSchema() {
    const Json text = {{"type", "string"}};
    const Json texts = {{"type", "array"}, {"items", text}};
    const Json topic = {
        {"type", "object"}, {"properties", {{"title", text}, {"detail", text}}}, {"required", {"title", "detail"}}};
    return {{"type", "object"},
            {"properties",
             {{"overview", text},
              {"topics", {{"type", "array"}, {"items", topic}}},
              {"decisions", texts},
              {"actionItems", texts},
              {"unresolvedQuestions", texts}}},
            {"required", {"overview", "topics", "decisions", "actionItems", "unresolvedQuestions"}}};
}

GeminiKeychainSummaryProvider::GeminiKeychainSummaryProvider(std::string providerName, std::string modelName,
                                                             std::string key, HttpTransport& transport,
                                                             std::string baseURL, std::chrono::milliseconds timeout)
    : providerName_(std::move(providerName)),
      modelName_(std::move(modelName)),
      key_(std::move(key)),
      transport_(transport),
      baseURL_(std::move(baseURL)),
      timeout_(timeout) {
    while (baseURL_.ends_with('/')) baseURL_.pop_back();
}

HostedMeetingSummary GeminiKeychainSummaryProvider::summarize(std::string_view transcriptLines,
                                                              const std::vector<std::string>& groundedActions,
                                                              std::stop_token stop) {
    if (key_.empty()) throw GeminiAnalysisError::missingKey();
    const Json body = {
        {"contents",
         {{{"role", "user"}, {"parts", {{{"text", meetingSummaryPrompt(transcriptLines, groundedActions)}}}}}}},
        {"generationConfig",
         {{"responseMimeType", "application/json"}, {"responseSchema", meetingSummaryResponseSchema()}}},
    };
    HttpRequest request;
    request.method = "POST";
    request.url = baseURL_ + "/v1beta/models/" + modelName_ + ":generateContent";
    request.headers = {{"Content-Type", "application/json"}, {"x-goog-api-key", key_}};
    request.body = encodeCompactJSON(body);
    request.timeout = timeout_;
    request.maxResponseBytes = kMaxAnswerBytes;
    const HttpResponse response = transport_.send(request, stop);
    if (response.status < 200 || response.status > 299) {
        const bool readable = !response.body.empty() && isValidUTF8(response.body);
        throw summaryFailure(readable ? response.body : "Summary request failed");
    }
    std::string text;
    try {
        text = answerText(parseJSON(response.body));
    } catch (const DecodingError&) {
    }
    if (text.empty()) throw summaryFailure("Summary response was empty");
    try {
        return HostedMeetingSummary::fromJSON(parseJSON(text));
    } catch (const DecodingError&) {
        throw summaryFailure("Gemini returned a summary that did not match the expected contract.");
    }
}

}  // namespace quillmer
