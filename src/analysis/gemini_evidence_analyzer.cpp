#include "analysis/gemini_evidence_analyzer.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <set>

#include "analysis/transcript_rules_evidence_provider.h"
#include "core/markdown_text.h"
#include "core/utf8.h"

namespace quillmer {

namespace {

constexpr const char* kInstructions =
    "You are Quillmer's evidence reviewer. Determine whether this feedback moment supports a concrete product "
    "change.\nUse only the transcript context and attached evidence frames. Never invent a UI element, click, "
    "behavior, or requested change. If the evidence is not sufficiently specific, return null. A concrete spoken "
    "request can be transcript-grounded even when no attached frame proves it; cite only frame paths that genuinely "
    "help explain the request.\nA verb used to demonstrate existing capability (for example, \"I can remove this\") "
    "is not a requested change. Require an explicit critique, desired behavior, or requirement; otherwise return "
    "null.\n\nCandidate ID: ";

// Shortest round-trip form that always shows it is a decimal: 20 → "20.0", 12.5 → "12.5".
std::string decimalText(double value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    std::string text(buffer, result.ptr);
    if (std::isfinite(value) && text.find_first_of(".e") == std::string::npos) text += ".0";
    return text;
}

bool isSpace(char32_t c) {
    return c == ' ' || c == '\t' || isNewlineCodePoint(c) || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) ||
           c == 0x202F || c == 0x205F || c == 0x3000;
}

// Lower-cased (ASCII letters), white-space runs as single spaces, none at either end.
std::string normalised(std::string_view text) {
    std::string out;
    bool pendingSpace = false;
    for (size_t pos = 0; pos < text.size();) {
        const size_t length = utf8SequenceLength(text, pos);
        const size_t step = length == 0 ? 1 : length;
        if (length != 0 && isSpace(decodeUTF8CodePoint(text, pos, length))) {
            pendingSpace = !out.empty();
        } else {
            if (pendingSpace) out.push_back(' ');
            pendingSpace = false;
            for (size_t i = pos; i < pos + step; ++i) {
                const char c = text[i];
                out.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c);
            }
        }
        pos += step;
    }
    return out;
}

std::string rangeStartText(double seconds) {
    const double clamped = std::isfinite(seconds) && seconds > 0 ? std::min(seconds, 1e12) : 0;
    const auto minutes = static_cast<long long>(clamped / 60);
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%02lld:%05.2f", minutes, clamped - static_cast<double>(minutes) * 60);
    return buffer;
}

}  // namespace

FeedbackPayload FeedbackPayload::fromJSON(const Json& json) {
    if (!json.is_object()) throw DecodingError("The analysis answer's feedback is not an object.");
    JsonObjectReader reader(json, "FeedbackPayload");
    return {reader.required<std::string>("component"),
            reader.required<std::string>("observed"),
            reader.required<std::string>("requestedChange"),
            reader.required<std::string>("quote"),
            reader.required<double>("confidence"),
            reader.required<std::vector<std::string>>("evidenceFramePaths")};
}

Json FeedbackPayload::toJSON() const {
    Json json = Json::object();
    putJSON(json, "component", component);
    putJSON(json, "observed", observed);
    putJSON(json, "requestedChange", requestedChange);
    putJSON(json, "quote", quote);
    putJSON(json, "confidence", confidence);
    putJSON(json, "evidenceFramePaths", evidenceFramePaths);
    return json;
}

namespace GeminiEvidenceAnalyzer {

std::string prompt(const EvidenceBundleDocument::Candidate& candidate) {
    std::string text = kInstructions;
    text += candidate.id.toString();
    text += "\nEvidence time range, source PTS seconds: " + decimalText(candidate.rangeStartSeconds) + " to " +
            decimalText(candidate.rangeEndSeconds);
    text += "\nTrigger phrase: " + candidate.trigger;
    text += "\nVisual change hint: ";
    if (candidate.visualAnchor)
        text += "A blue outline may mark a small detected change near normalized position (" +
                decimalText(candidate.visualAnchor->x) + ", " + decimalText(candidate.visualAnchor->y) +
                "); it is not proof of a cursor or click.";
    else
        text += "No small visual change was detected.";
    text += "\nTranscript context:\n" + candidate.transcriptContext;
    text += "\n\nIf grounded, return a concise component, what is visibly or verbally observed, the requested product "
            "change, an exact supporting quote, and a calibrated confidence from 0 to 1. Evidence frame paths must "
            "contain only these attached frame paths: ";
    for (size_t i = 0; i < candidate.frames.size(); ++i) text += (i ? ", " : "") + candidate.frames[i].path;
    return text + ".";
}

Json responseSchema() {
    const Json text = {{"type", "string"}};
    Json feedback = {
        {"type", "object"},
        {"nullable", true},
        {"properties",
         {{"component", text},
          {"observed", text},
          {"requestedChange", text},
          {"quote", text},
          {"confidence", {{"type", "number"}}},
          {"evidenceFramePaths", {{"type", "array"}, {"items", text}}}}},
        {"required", {"component", "observed", "requestedChange", "quote", "confidence", "evidenceFramePaths"}},
    };
    return {{"type", "object"}, {"properties", {{"feedback", feedback}}}, {"required", {"feedback"}}};
}

std::optional<FeedbackPayload> decodeAnswer(const Json& answer) {
    if (!answer.is_object() || !answer.contains("feedback"))
        throw DecodingError("The analysis answer has no feedback member.");
    const Json& feedback = answer["feedback"];
    if (feedback.is_null()) return std::nullopt;
    return FeedbackPayload::fromJSON(feedback);
}

std::optional<GroundedFeedbackItem> groundedItem(const FeedbackPayload& payload,
                                                 const EvidenceBundleDocument::Candidate& candidate) {
    const std::string quote = normalised(payload.quote);
    const bool grounded = !quote.empty() && normalised(candidate.transcriptContext).find(quote) != std::string::npos &&
                          payload.confidence >= 0 && payload.confidence <= 1 &&
                          !trimmingWhitespaceAndNewlines(payload.component).empty() &&
                          !trimmingWhitespaceAndNewlines(payload.requestedChange).empty();
    if (!grounded) return std::nullopt;
    std::set<std::string_view> allowed;
    for (const auto& frame : candidate.frames) allowed.insert(frame.path);
    GroundedFeedbackItem item{Uuid::random(),   candidate.id,  payload.component, payload.observed,
                              payload.requestedChange, payload.quote, payload.confidence, {}};
    for (const auto& path : payload.evidenceFramePaths)
        if (allowed.contains(path)) item.evidenceFramePaths.push_back(path);
    return item;
}

std::string markdown(const GroundedFeedbackReport& report,
                     const std::vector<EvidenceBundleDocument::Candidate>& candidates) {
    // Rule-based items are never called a model's judgement, nor prepared without a person.
    const std::string intro =
        report.provider == kTranscriptRulesProviderName
            ? "These items were found on this computer by transcript rules, not judged by a model: each quotes the "
              "spoken request at a moment. None is prepared for implementation until a person includes it."
            : "This is a conservative analysis over cited local evidence. Strongly grounded items may be prepared "
              "automatically for implementation; the cited sources remain available for correction.";
    std::string text = "# Quillmer grounded feedback\n\n" + intro + "\n\n- Provider: " +
        escapeMarkdownText(report.provider) + "\n- Model: " + escapeMarkdownText(report.model) +
        "\n- Generated: " + formatISO8601(report.createdAt) + "\n";
    std::vector<std::string> blocks;
    for (size_t i = 0; i < report.items.size(); ++i) {
        const GroundedFeedbackItem& item = report.items[i];
        const auto candidate =
            std::ranges::find_if(candidates, [&](const auto& known) { return known.id == item.candidateID; });
        if (candidate == candidates.end()) continue;
        // Model text is untrusted: escaped so it cannot start HTML or break out of its line.
        std::string block = "## " + std::to_string(i + 1) + ". " + escapeMarkdownText(item.component) + " \u00B7 " +
                            rangeStartText(candidate->rangeStartSeconds) + " \u00B7 " +
                            std::to_string(std::llround(std::clamp(item.confidence, 0.0, 1.0) * 100)) + "% confidence\n\n> " +
                            escapeMarkdownText(item.quote) + "\n\n**Observed**\n" + escapeMarkdownText(item.observed) +
                            "\n\n**Requested change**\n" + escapeMarkdownText(item.requestedChange) +
                            "\n\n**Cited evidence**\n";
        for (size_t k = 0; k < item.evidenceFramePaths.size(); ++k)
            block += (k ? "\n" : "") + ("- [" + item.evidenceFramePaths[k] + "](" + item.evidenceFramePaths[k] + ")");
        blocks.push_back(block + "\n");
    }
    if (blocks.empty()) return text + "\nNo sufficiently grounded feedback was found.\n";
    for (size_t i = 0; i < blocks.size(); ++i) text += "\n" + blocks[i];
    return text;
}

}  // namespace GeminiEvidenceAnalyzer

}  // namespace quillmer
