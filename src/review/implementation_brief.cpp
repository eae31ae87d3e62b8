#include "review/implementation_brief.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <tuple>

#include "analysis/character_count.h"
#include "core/markdown_text.h"
#include "analysis/transcript_rules_evidence_provider.h"
#include "capture/session_progress_files.h"
#include "core/atomic_file.h"
#include "core/time_format.h"
#include "evidence/feedback_vocabulary.h"

namespace quillmer {

namespace {

using Frame = ImplementationBriefDocument::EvidenceFrame;
using Kind = Frame::Kind;

constexpr const char* kMiddleDot = "\u00B7";
constexpr const char* kEnDash = "\u2013";

const char* kindName(Kind kind) {
    switch (kind) {
        case Kind::before: return "before";
        case Kind::atMoment: return "atMoment";
        case Kind::after: return "after";
        case Kind::annotated: return "annotated";
        case Kind::focusedCrop: return "focusedCrop";
        case Kind::evidence: return "evidence";
    }
    return "evidence";
}

const char* caption(Kind kind) {
    switch (kind) {
        case Kind::before: return "Before the referenced moment";
        case Kind::atMoment: return "Screen at the referenced moment";
        case Kind::after: return "After the referenced moment";
        case Kind::annotated: return "Annotated visual-change frame";
        case Kind::focusedCrop: return "Focused visual-change crop";
        case Kind::evidence: return "Visual evidence";
    }
    return "Visual evidence";
}

// The exporter names frames "<moment>-0.png", "-1.png", "-2.png" and the anchor images
// "-change-anchor." and "-change-focus."; the name is all the bundle tells about a frame.
Kind kindOfPath(const std::string& path) {
    const auto endsWith = [&](std::string_view suffix) { return path.ends_with(suffix); };
    if (path.find("-change-focus.") != std::string::npos) return Kind::focusedCrop;
    if (path.find("-change-anchor.") != std::string::npos) return Kind::annotated;
    if (endsWith("-0.png")) return Kind::before;
    if (endsWith("-1.png")) return Kind::atMoment;
    if (endsWith("-2.png")) return Kind::after;
    return Kind::evidence;
}

bool isStopWord(const std::string& word) {
    static const std::set<std::string> stopWords{"a",  "an", "and", "as",  "be",   "by",  "for",
                                                 "in", "of", "on",  "the", "to",   "with"};
    return stopWords.contains(word);
}

// The meeting summary is written by its own step; only its action items matter here, and a
// missing or unreadable summary simply means there are none.
std::vector<std::string> readSummaryActionItems(const std::filesystem::path& exportFolder) {
    try {
        const Json summary = parseJSON(readWholeFile(exportFolder / kMeetingSummaryJSONFileName));
        std::vector<std::string> actions;
        if (!summary.is_object() || !summary.contains("actionItems") ||
            !decodeJSONValue(summary["actionItems"], actions))
            return {};
        return actions;
    } catch (const Error&) {
        return {};
    }
}

// Frames the analysis chose are marked by who chose them: a model, or the transcript rules.
std::string frameSnippet(const Frame& frame, std::string_view citedBy) {
    std::string text = std::string("### ") + caption(frame.kind);
    if (frame.modelCited) text += std::string(" ") + kMiddleDot + " " + std::string(citedBy);
    text += std::string("\n\n![") + caption(frame.kind) + "](" + frame.path + ")\n\n";
    text += "[Open original image](" + frame.path + ") " + kMiddleDot + " SHA-256 `" + frame.sha256 + "`";
    return text;
}

std::string visualSection(const std::vector<Frame>& frames, std::string_view citedBy) {
    if (frames.empty())
        return "**Grounding**\nTranscript-grounded. No useful visual evidence was selected for this action.";
    std::vector<const Frame*> shown;
    for (const auto& frame : frames)
        if (frame.modelCited || frame.kind == Kind::atMoment || frame.kind == Kind::annotated ||
            frame.kind == Kind::focusedCrop)
            shown.push_back(&frame);
    if (shown.empty()) shown.push_back(&frames.front());
    std::string text = "**Visual evidence**\n\n";
    for (size_t i = 0; i < shown.size(); ++i) text += (i ? "\n\n" : "") + frameSnippet(*shown[i], citedBy);
    return text;
}

std::string itemBlock(size_t number, const ImplementationBriefDocument::Item& item, std::string_view citedBy) {
    std::string text = "## " + std::to_string(number) + ". " + item.component + " " + kMiddleDot + " " +
                       formatTimestamp(item.rangeStartSeconds) + kEnDash + formatTimestamp(item.rangeEndSeconds) + " " +
                       kMiddleDot + " " + std::to_string(static_cast<int>(std::trunc(item.confidence * 100))) +
                       "% grounded\n\n";
    text += "> " + item.quote;
    text += "\n\n**Requested change**\n" + item.requestedChange;
    text += "\n\n**Observed**\n" + item.observed;
    text += "\n\n**Transcript context**\n> " + item.transcriptContext;
    text += "\n\n" + visualSection(item.evidenceFrames, citedBy) + "\n";
    return text;
}

}  // namespace

Json Frame::toJSON() const {
    Json json = Json::object();
    json["byteCount"] = byteCount;
    json["kind"] = kindName(kind);
    json["modelCited"] = modelCited;
    json["path"] = path;
    json["sha256"] = sha256;
    return json;
}

Json ImplementationBriefDocument::Item::toJSON() const {
    Json json = Json::object();
    putJSON(json, "candidateID", candidateID);
    json["component"] = component;
    json["confidence"] = confidence;
    Json frames = Json::array();
    for (const auto& frame : evidenceFrames) frames.push_back(frame.toJSON());
    json["evidenceFrames"] = frames;
    putJSON(json, "id", id);
    json["observed"] = observed;
    json["quote"] = quote;
    json["rangeEndSeconds"] = rangeEndSeconds;
    json["rangeStartSeconds"] = rangeStartSeconds;
    json["requestedChange"] = requestedChange;
    json["transcriptContext"] = transcriptContext;
    json["trigger"] = trigger;
    putJSON(json, "visualAnchor", visualAnchor);
    return json;
}

Json ImplementationBriefDocument::toJSON() const {
    Json json = Json::object();
    json["additionalTranscriptActions"] = additionalTranscriptActions;
    putJSON(json, "createdAt", createdAt);
    Json itemsJSON = Json::array();
    for (const auto& item : items) itemsJSON.push_back(item.toJSON());
    json["items"] = itemsJSON;
    putJSON(json, "repository", repository);
    json["schemaVersion"] = schemaVersion;
    json["sourceEvidenceFile"] = sourceEvidenceFile;
    json["sourceFeedbackFile"] = sourceFeedbackFile;
    json["analysisProvider"] = analysisProvider;
    json["analysisModel"] = analysisModel;
    json["transcriptFile"] = transcriptFile;
    return json;
}

std::optional<ImplementationBriefDocument::Item> makeBriefItem(
    const GroundedFeedbackItem& item, const FeedbackReviewState& state,
    const std::map<Uuid, EvidenceBundleDocument::Candidate>& candidates) {
    const auto id = item.id.toString();
    if (!state.includedFeedbackIDs.contains(id)) return std::nullopt;
    const auto found = candidates.find(item.candidateID);
    if (found == candidates.end()) return std::nullopt;
    const auto& candidate = found->second;

    ImplementationBriefDocument::Item result;
    result.id = item.id;
    result.candidateID = item.candidateID;
    std::tie(result.component, result.requestedChange) = editedComponentAndChange(item, state);
    result.observed = item.observed;
    result.quote = item.quote;
    result.transcriptContext = candidate.transcriptContext;
    result.trigger = candidate.trigger;
    result.confidence = item.confidence;
    result.rangeStartSeconds = candidate.rangeStartSeconds;
    result.rangeEndSeconds = candidate.rangeEndSeconds;
    result.visualAnchor = candidate.visualAnchor;
    if (state.visualEvidenceUsefulIDs.contains(id)) {
        const std::set<std::string> cited(item.evidenceFramePaths.begin(), item.evidenceFramePaths.end());
        for (const auto& frame : candidate.frames)
            result.evidenceFrames.push_back(
                {frame.path, frame.sha256, frame.byteCount, kindOfPath(frame.path), cited.contains(frame.path)});
    }
    return result;
}

std::set<std::string> significantWords(const std::string& text) {
    std::set<std::string> words;
    for (auto& word : tokenize(text))
        if (countUserPerceivedCharacters(word) >= 2 && !isStopWord(word)) words.insert(std::move(word));
    return words;
}

std::vector<std::string> uncoveredActions(const std::vector<std::string>& actions,
                                          const std::vector<ImplementationBriefDocument::Item>& items) {
    std::vector<std::set<std::string>> changes;
    for (const auto& item : items) changes.push_back(significantWords(item.requestedChange));
    std::vector<std::string> kept;
    for (const auto& action : actions) {
        const auto words = significantWords(action);
        const bool covered = !words.empty() && std::any_of(changes.begin(), changes.end(), [&](const auto& change) {
            if (change.empty()) return false;
            const auto shared = std::count_if(words.begin(), words.end(), [&](const auto& w) { return change.contains(w); });
            return static_cast<double>(shared) / static_cast<double>(words.size()) >= 0.5;
        });
        if (!covered) kept.push_back(action);
    }
    return kept;
}

std::string briefMarkdown(const ImplementationBriefDocument& document) {
    std::string text =
        "# Quillmer implementation brief\n\n"
        "This brief combines the complete meeting task audit with detailed evidence for the changes that have "
        "useful captured screens. Do not drop a task merely because it lacks visual evidence; use the complete "
        "transcript when clarification is needed.\n\n";
    text += "- Generated: " + formatISO8601(document.createdAt) + "\n";
    if (document.repository) {
        text += "- Reviewed revision: `" + document.repository->gitSHA + "`";
        if (document.repository->branch) text += std::string(" ") + kMiddleDot + " " + *document.repository->branch;
        text += "\n";
    }
    const auto link = [](const std::string& label, const std::string& file) {
        return "- " + label + ": [" + file + "](" + file + ")\n";
    };
    const bool rules = document.analysisProvider == kTranscriptRulesProviderName;
    if (rules) text += "- Analysis: transcript rules on this computer; no model judged these items\n";
    else if (!document.analysisProvider.empty())
        text += "- Analysis: " + escapeMarkdownText(document.analysisModel) + " (" +
                escapeMarkdownText(document.analysisProvider) + ")\n";
    text += link("Source analysis", document.sourceFeedbackFile);
    text += link("Source evidence", document.sourceEvidenceFile);
    text += link("Complete transcript", document.transcriptFile);
    text += "\n";
    const std::string_view citedBy = rules ? "cited by the transcript rules" : "model-cited";
    for (size_t i = 0; i < document.items.size(); ++i)
        text += (i ? "\n" : "") + itemBlock(i + 1, document.items[i], citedBy);
    if (!document.additionalTranscriptActions.empty()) {
        text += "\n## Additional transcript-grounded tasks\n\n"
                "These tasks were explicit in the meeting but did not require a model-cited screen:\n\n";
        for (size_t i = 0; i < document.additionalTranscriptActions.size(); ++i)
            text += (i ? "\n" : "") + ("- " + document.additionalTranscriptActions[i]);
        text += "\n";
    }
    return text;
}

std::filesystem::path generateImplementationBrief(const std::filesystem::path& exportFolder) {
    const auto state = loadReviewState(exportFolder);
    const auto report = readFeedbackReport(exportFolder);
    const auto bundle = readEvidenceBundle(exportFolder);
    const auto candidates = candidatesByID(bundle);

    ImplementationBriefDocument document;
    for (const auto& item : report.items)
        if (auto briefItem = makeBriefItem(item, state, candidates)) document.items.push_back(std::move(*briefItem));
    if (document.items.empty()) throw ImplementationBriefError();

    document.additionalTranscriptActions = uncoveredActions(readSummaryActionItems(exportFolder), document.items);
    document.createdAt = std::chrono::time_point_cast<std::chrono::seconds>(std::chrono::system_clock::now());
    document.transcriptFile = bundle.session.transcript.path;
    document.analysisProvider = report.provider;
    document.analysisModel = report.model;
    document.repository = bundle.session.repository;

    writeFileAtomically(exportFolder / kImplementationBriefJSONFileName, encodeJSON(document.toJSON()));
    const auto markdown = exportFolder / kImplementationBriefMarkdownFileName;
    writeFileAtomically(markdown, briefMarkdown(document));
    return markdown;
}

}  // namespace quillmer
