#include "analysis/meeting_summary.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <map>
#include <set>
#include <sstream>
#include <string_view>

#include <unicode/ucasemap.h>

#include "core/ascii_case.h"
#include "core/atomic_file.h"
#include "core/utf8.h"

namespace quillmer {

namespace {

struct CatalogueTopic {
    const char* title;
    std::vector<std::string_view> keywords;
};

const std::vector<CatalogueTopic>& catalogue() {
    static const std::vector<CatalogueTopic> topics = {
        {"Employee data and phone numbers", {"employee", "phone number", "active", "termination"}},
        {"Survey and milestone workflow", {"survey", "milestone", "program", "enroll"}},
        {"Notifications and regional recaps", {"notification", "text message", "email recap", "rvp", "region"}},
        {"Production rollout", {"production", "sandbox", "import all"}},
        {"Integrations and data refresh", {"ukg", "integration", "api key", "file feed", "refresh"}},
    };
    return topics;
}

constexpr std::array<std::string_view, 23> kActionPhrases = {
    "can you", "could you", "could we", "we need", "need to", "needs to", "should ", "have to",
    "action item", "follow up", "make sure", "we'll add", "we will add", "we'll review", "we will review",
    "we'll create", "we will create", "will import", "will send", "will eliminate", "can do that",
    "put some check", "refresh would be good",
};
constexpr std::array<std::string_view, 4> kExclusionPhrases = {"can you hear", "could you hear", "share your screen",
                                                               "go to the page"};
constexpr std::array<std::string_view, 3> kDecisionPhrases = {"we decided", "we agreed", "the decision"};
constexpr std::array<std::string_view, 9> kDiscussionWords = {"review",  "workflow", "screen",  "feature", "change",
                                                              "request", "need",     "decided", "discuss"};
constexpr size_t kOverviewWordLimit = 100;
constexpr size_t kTopicLimit = 8;
constexpr size_t kCatalogueDetailLimit = 900;
constexpr size_t kChunkDetailLimit = 1000;
constexpr size_t kMaxChunks = 5;

// Unicode lower case (root locale), so de-duplication treats "É" and "é" alike; ASCII only if ICU fails.
std::string lowered(std::string_view text) {
    static UCaseMap* const map = [] {
        UErrorCode status = U_ZERO_ERROR;
        UCaseMap* opened = ucasemap_open("", 0, &status);
        return U_SUCCESS(status) ? opened : nullptr;
    }();
    std::string out(text.size() + 16, '\0');
    for (int attempt = 0; map && attempt < 2; ++attempt) {
        UErrorCode status = U_ZERO_ERROR;
        const int32_t length = ucasemap_utf8ToLower(map, out.data(), static_cast<int32_t>(out.size()), text.data(),
                                                    static_cast<int32_t>(text.size()), &status);
        if (status == U_BUFFER_OVERFLOW_ERROR) {
            out.assign(static_cast<size_t>(length), '\0');
            continue;
        }
        if (U_FAILURE(status)) break;
        out.resize(static_cast<size_t>(length));
        return out;
    }
    return asciiLowercased(text);
}

template <typename Phrases>
bool containsAny(std::string_view lowerText, const Phrases& phrases) {
    return std::ranges::any_of(
        phrases, [&](std::string_view phrase) { return lowerText.find(phrase) != std::string_view::npos; });
}

std::string joined(const std::vector<std::string>& parts, std::string_view separator) {
    std::string out;
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i) out += separator;
        out += parts[i];
    }
    return out;
}

std::string cut(std::string_view text, size_t limit) { return std::string(prefixWithinUTF16Units(text, limit)); }

std::vector<HostedMeetingSummary::Topic> ruleTopics(const std::vector<std::string>& lines,
                                                    const std::vector<GroundedFeedbackItem>& feedback) {
    std::vector<HostedMeetingSummary::Topic> topics;
    for (const auto& entry : catalogue()) {
        std::vector<std::string> matching;
        for (const auto& line : lines)
            if (matching.size() < 5 && containsAny(lowered(line), entry.keywords)) matching.push_back(line);
        if (!matching.empty()) topics.push_back({entry.title, cut(joined(matching, " "), kCatalogueDetailLimit)});
    }

    // Components by number of items, largest first; equal counts keep the order first seen.
    std::vector<std::pair<std::string, std::vector<std::string>>> groups;
    for (const auto& item : feedback) {
        auto group = std::ranges::find_if(groups, [&](const auto& g) { return g.first == item.component; });
        if (group == groups.end()) group = groups.insert(groups.end(), {item.component, {}});
        group->second.push_back(item.requestedChange);
    }
    std::ranges::stable_sort(groups, std::greater{}, [](const auto& g) { return g.second.size(); });
    for (const auto& group : groups) {
        const std::string title = lowered(group.first);
        const bool known = std::ranges::any_of(topics, [&](const auto& t) { return lowered(t.title) == title; });
        if (!known) topics.push_back({group.first, joined(group.second, " ")});
    }
    if (topics.size() > kTopicLimit) topics.resize(kTopicLimit);

    if (topics.empty() && !lines.empty()) {
        const size_t chunk = std::max<size_t>(1, (lines.size() + kMaxChunks - 1) / kMaxChunks);
        for (size_t start = 0, number = 1; start < lines.size() && number <= kMaxChunks; start += chunk, ++number) {
            const std::vector<std::string> part(
                lines.begin() + static_cast<std::ptrdiff_t>(start),
                lines.begin() + static_cast<std::ptrdiff_t>(std::min(lines.size(), start + chunk)));
            topics.push_back({"Discussion " + std::to_string(number), cut(joined(part, " "), kChunkDetailLimit)});
        }
    }
    return topics;
}

std::string limitedToWords(const std::string& text, size_t limit) {
    std::istringstream stream(text);
    std::vector<std::string> words;
    for (std::string word; stream >> word;) words.push_back(word);
    if (words.size() <= limit) return text;
    words.resize(limit);
    return joined(words, " ") + "\u2026";
}

std::string ruleOverview(const std::vector<std::string>& lines, const std::vector<HostedMeetingSummary::Topic>& topics,
                         size_t actionCount) {
    if (lines.empty()) return "No spoken discussion was available in this meeting transcript.";
    std::vector<std::string> titles;
    for (size_t i = 0; i < topics.size() && i < 5; ++i) titles.push_back(topics[i].title);
    std::string overview = "The team reviewed the current product workflow and rollout, with discussion focused on " +
                           (titles.empty() ? std::string("the demonstrated issues") : joined(titles, ", ")) + ".";
    const auto discussed =
        std::ranges::find_if(lines, [](const auto& line) { return containsAny(lowered(line), kDiscussionWords); });
    if (discussed != lines.end()) overview += " The discussion included: " + *discussed;
    overview += " The transcript contains " + std::to_string(actionCount) +
                " distinct requests or follow-ups that still need confirmation or completion.";
    return limitedToWords(overview, kOverviewWordLimit);
}

}  // namespace

MeetingSummaryDocument MeetingSummaryDocument::fromJSON(const Json& json) {
    JsonObjectReader reader(json, "MeetingSummaryDocument");
    MeetingSummaryDocument document;
    document.schemaVersion = reader.required<int64_t>("schemaVersion");
    document.createdAt = reader.required<Timestamp>("createdAt");
    document.provider = reader.required<std::string>("provider");
    document.model = reader.required<std::string>("model");
    document.overview = reader.required<std::string>("overview");
    document.topics = reader.required<std::vector<HostedMeetingSummary::Topic>>("topics");
    document.decisions = reader.required<std::vector<std::string>>("decisions");
    document.actionItems = reader.required<std::vector<std::string>>("actionItems");
    document.unresolvedQuestions = reader.required<std::vector<std::string>>("unresolvedQuestions");
    document.markdown = reader.required<std::string>("markdown");
    return document;
}

Json MeetingSummaryDocument::toJSON() const {
    Json json = Json::object();
    putJSON(json, "schemaVersion", schemaVersion);
    putJSON(json, "createdAt", createdAt);
    putJSON(json, "provider", provider);
    putJSON(json, "model", model);
    putJSON(json, "overview", overview);
    putJSON(json, "topics", topics);
    putJSON(json, "decisions", decisions);
    putJSON(json, "actionItems", actionItems);
    putJSON(json, "unresolvedQuestions", unresolvedQuestions);
    putJSON(json, "markdown", markdown);
    return json;
}

std::string meetingSummaryMarkdown(const HostedMeetingSummary& summary) {
    std::vector<std::string> topics;
    for (const auto& topic : summary.topics) topics.push_back("### " + topic.title + "\n\n" + topic.detail);
    std::string markdown =
        "# Meeting summary\n\n" + summary.overview + "\n\n## Key topics\n\n" + joined(topics, "\n\n") + "\n";
    const std::pair<const char*, const std::vector<std::string>*> sections[] = {
        {"Decisions", &summary.decisions},
        {"Action items", &summary.actionItems},
        {"Open questions", &summary.unresolvedQuestions},
    };
    for (const auto& [title, entries] : sections) {
        if (entries->empty()) continue;
        std::vector<std::string> bullets;
        for (const auto& entry : *entries) bullets.push_back("- " + entry);
        markdown += "\n## " + std::string(title) + "\n\n" + joined(bullets, "\n") + "\n";
    }
    return markdown;
}

MeetingSummaryDocument meetingSummaryDocument(const HostedMeetingSummary& summary, std::string provider,
                                              std::string model, Timestamp createdAt) {
    MeetingSummaryDocument document;
    document.createdAt = createdAt;
    document.provider = std::move(provider);
    document.model = std::move(model);
    document.overview = summary.overview;
    document.topics = summary.topics;
    document.decisions = summary.decisions;
    document.actionItems = summary.actionItems;
    document.unresolvedQuestions = summary.unresolvedQuestions;
    document.markdown = meetingSummaryMarkdown(summary);
    return document;
}

std::string summaryTranscriptLines(const LocalTranscript& transcript) {
    std::vector<std::string> lines;
    for (const auto& segment : transcript.segments) {
        const double start = std::isfinite(segment.startSeconds) ? std::max(0.0, segment.startSeconds) : 0.0;
        const double minutes = std::floor(start / 60);
        char time[64];
        std::snprintf(time, sizeof time, "%02d:%05.2f", static_cast<int>(std::min(minutes, 1e9)), start - minutes * 60);
        const bool named = segment.speaker && !segment.speaker->name.empty();
        lines.push_back("[" + std::string(time) + "] " + (named ? segment.speaker->name : "Speaker") + ": " +
                        segment.text);
    }
    return joined(lines, "\n");
}

std::vector<std::string> summaryGroundedActions(const std::vector<GroundedFeedbackItem>& items) {
    std::vector<std::string> actions;
    for (const auto& item : items)
        actions.push_back(item.component + ": " + item.requestedChange + " (observed: " + item.observed +
                          "; quote: \"" + item.quote + "\")");
    return actions;
}

MeetingSummaryDocument ruleBasedSummary(const LocalTranscript& transcript,
                                        const std::vector<GroundedFeedbackItem>& feedback, Timestamp createdAt) {
    std::vector<std::string> lines;
    for (const auto& segment : transcript.segments) lines.push_back(segment.text);

    HostedMeetingSummary summary;
    summary.topics = ruleTopics(lines, feedback);
    std::vector<std::string> actions;
    for (const auto& item : feedback) actions.push_back(item.requestedChange);
    for (const auto& line : lines) {
        const std::string lower = lowered(line);
        if (containsAny(lower, kDecisionPhrases)) summary.decisions.push_back(line);
        if (line.find('?') != std::string::npos) summary.unresolvedQuestions.push_back(line);
        if (containsAny(lower, kActionPhrases) && !containsAny(lower, kExclusionPhrases)) actions.push_back(line);
    }
    std::set<std::string> seen;
    for (auto& action : actions)
        if (seen.insert(lowered(action)).second) summary.actionItems.push_back(std::move(action));
    summary.overview = ruleOverview(lines, summary.topics, summary.actionItems.size());
    return meetingSummaryDocument(summary, kRuleBasedSummaryProvider, kRuleBasedSummaryModel, createdAt);
}

void writeMeetingSummary(const std::filesystem::path& exportFolder, const MeetingSummaryDocument& document) {
    writeFileAtomically(exportFolder / kMeetingSummaryJSONFileName, encodeJSON(document.toJSON()));
    writeFileAtomically(exportFolder / kMeetingSummaryMarkdownFileName, document.markdown);
}

void writeSummaryDiagnostics(const std::filesystem::path& exportFolder, Timestamp failedAt, std::string_view reason) {
    writeFileAtomically(exportFolder / kSummaryDiagnosticsFileName,
                        formatISO8601(failedAt) + "\n" + std::string(reason) + "\n");
}

void removeSummaryDiagnostics(const std::filesystem::path& exportFolder) {
    std::error_code ignored;
    std::filesystem::remove(exportFolder / kSummaryDiagnosticsFileName, ignored);
}

}  // namespace quillmer
