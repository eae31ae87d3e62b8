#include "analysis/transcript_rules_evidence_provider.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "analysis/gemini_evidence_analyzer.h"
#include "capture/session_progress_files.h"
#include "core/ascii_case.h"
#include "core/atomic_file.h"
#include "core/error.h"
#include "core/safe_path.h"
#include "core/utf8.h"
#include "evidence/feedback_vocabulary.h"
#include "evidence/frame_extraction.h"

namespace quillmer {

namespace {

constexpr double kFar = std::numeric_limits<double>::infinity();
constexpr std::string_view kEllipsis = "\u2026";

constexpr std::array<std::string_view, 14> kDeterminers = {"the", "this", "that", "these", "those", "a",   "an",
                                                           "my",  "our",  "your", "its",   "their", "his", "her"};
// Words that end a noun phrase besides the request vocabulary: place and time words, prepositions,
// conjunctions, verbs of being and pronouns, and the adjectives a request asks a thing to become.
constexpr std::array<std::string_view, 62> kPhraseStops = {
    "now",     "then",    "again",   "too",     "also",    "to",      "on",      "next",    "in",     "at",
    "of",      "for",     "with",    "by",      "from",    "into",    "onto",    "over",    "under",  "above",
    "below",   "near",    "beside",  "up",      "down",    "off",     "out",     "and",     "or",     "but",
    "so",      "because", "when",    "which",   "is",      "are",     "was",     "were",    "be",     "looks",
    "seems",   "it",      "i",       "we",      "you",     "they",    "larger",  "smaller", "bigger", "wider",
    "narrower", "taller", "shorter", "higher",  "lower",   "darker",  "lighter", "brighter", "bolder", "clearer",
    "more",    "less"};

bool isASCIISpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

// The words of a sentence as written, hyphens and apostrophes kept inside them ("sign-up", "user's").
std::vector<std::string_view> writtenWords(std::string_view sentence) {
    constexpr std::string_view kBreaks = " \t\n\r\v\f,.;:!?()[]{}\"";
    std::vector<std::string_view> words;
    for (size_t pos = 0; pos < sentence.size();) {
        const size_t begin = sentence.find_first_not_of(kBreaks, pos);
        if (begin == std::string_view::npos) break;
        const size_t end = std::min(sentence.find_first_of(kBreaks, begin), sentence.size());
        std::string_view word = sentence.substr(begin, end - begin);
        while (!word.empty() && (word.front() == '\'' || word.front() == '-')) word.remove_prefix(1);
        while (!word.empty() && (word.back() == '\'' || word.back() == '-')) word.remove_suffix(1);
        if (!word.empty()) words.push_back(word);
        pos = end;
    }
    return words;
}

// A listed word, or one without a letter or digit.
bool endsPhrase(std::string_view lower) {
    return tokenize(lower).empty() || isListedWord(kPhraseStops, lower) || isListedWord(kDeicticWords, lower) ||
           isListedWord(kModalWords, lower) || isListedWord(kRequestWords, lower) ||
           isListedWord(kActionWords, lower) || isListedWord(kDeterminers, lower);
}

// Seconds from `time` to the closed range, 0 inside it.
double secondsOutside(double time, double start, double end) {
    if (std::isnan(time)) return kFar;
    return time < start ? start - time : time > end ? time - end : 0;
}

std::string regionName(const VisualChangeAnchor& anchor) {
    const auto unit = [](double value) { return std::isfinite(value) ? std::clamp(value, 0.0, 1.0) : 0.0; };
    const double x = unit(anchor.x) + unit(anchor.width) / 2, y = unit(anchor.y) + unit(anchor.height) / 2;
    const std::string row = y < 1.0 / 3 ? "top" : y < 2.0 / 3 ? "middle" : "bottom";
    const std::string column = x < 1.0 / 3 ? "left" : x < 2.0 / 3 ? "centre" : "right";
    return row == "middle" && column == "centre" ? "centre" : row + " " + column;
}

std::string percent(double fraction) {
    const double clamped = std::isfinite(fraction) ? std::clamp(fraction, 0.0, 1.0) : 0.0;
    return std::to_string(std::max(1LL, std::llround(clamped * 100))) + "%";
}

// The at-moment frame, and with an anchor its outline and close-up: those the candidate lists.
std::vector<std::string> citedFrames(const EvidenceBundleDocument::Candidate& candidate) {
    std::vector<std::string> names = {frameFileName(candidate.id, kMomentFrameIndex)};
    if (candidate.visualAnchor) {
        names.push_back(changeAnchorFileName(candidate.id));
        names.push_back(changeFocusFileName(candidate.id));
    }
    std::vector<std::string> paths;
    for (const auto& name : names)
        for (const auto& frame : candidate.frames)
            if (frame.path == name || frame.path.ends_with("/" + name)) {
                paths.push_back(frame.path);
                break;
            }
    return paths;
}

}  // namespace

namespace TranscriptRules {

std::vector<std::string_view> sentences(std::string_view text) {
    std::vector<std::string_view> found;
    size_t begin = 0;
    const auto endAt = [&](size_t end) {
        const auto sentence = trimmingWhitespaceAndNewlines(text.substr(begin, end - begin));
        if (!sentence.empty()) found.push_back(sentence);
        begin = end;
    };
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\n' || c == '\r') {
            endAt(i + 1);
            continue;
        }
        size_t next = i;
        if (c == '.' || c == '!' || c == '?') next = i + 1;
        else if (text.substr(i).starts_with(kEllipsis)) next = i + kEllipsis.size();
        else continue;
        // "?!", "..." and closing quotes stay with their sentence.
        while (next < text.size() && std::string_view(".!?\"')").find(text[next]) != std::string_view::npos) ++next;
        if (next == text.size() || isASCIISpace(text[next])) endAt(next);
        i = next - 1;
    }
    endAt(text.size());
    return found;
}

bool holdsTrigger(std::string_view sentence, std::string_view trigger) {
    const auto wanted = tokenize(trigger);
    if (wanted.empty()) return false;
    const auto words = tokenize(sentence);
    return std::search(words.begin(), words.end(), wanted.begin(), wanted.end()) != words.end();
}

bool readsAsRequest(std::string_view sentence) {
    const auto words = tokenize(sentence);
    const std::string normalized = normalizedText(words) + " ";  // so a phrase ending in a blank can end the text
    if (containsAnyPhrase(normalized, kDemonstrationPhrases)) return false;
    return containsAnyPhrase(normalized, kRequestPhrases) ||
           std::any_of(words.begin(), words.end(), [](const auto& word) { return isListedWord(kRequestWords, word); });
}

std::optional<std::string_view> quotedSentence(std::string_view context, std::string_view trigger,
                                               const std::function<double(std::string_view)>& distance) {
    std::optional<std::string_view> best;
    double bestDistance = kFar;
    bool bestIsRequest = false;
    for (const auto sentence : sentences(context)) {
        if (!holdsTrigger(sentence, trigger)) continue;
        double away = distance ? distance(sentence) : 0;
        if (std::isnan(away)) away = kFar;
        const bool request = readsAsRequest(sentence);
        if (!best || away < bestDistance || (away == bestDistance && request && !bestIsRequest)) {
            best = sentence;
            bestDistance = away;
            bestIsRequest = request;
        }
    }
    return best;
}

std::string component(std::string_view sentence) {
    const auto words = writtenWords(sentence);
    for (size_t i = 0; i < words.size(); ++i) {
        if (!isListedWord(kDeterminers, asciiLowercased(words[i]))) continue;
        std::string phrase;
        for (size_t k = i + 1; k < words.size() && k <= i + 3 && !endsPhrase(asciiLowercased(words[k])); ++k)
            phrase += (phrase.empty() ? "" : " ") + std::string(words[k]);
        if (phrase.empty()) continue;
        if (phrase[0] >= 'a' && phrase[0] <= 'z') phrase[0] = static_cast<char>(phrase[0] - 'a' + 'A');
        return phrase;
    }
    return "Screen";
}

std::string observed(const std::optional<VisualChangeAnchor>& anchor) {
    if (!anchor) return "No small visual change was detected at this moment.";
    return "A small change was detected near the " + regionName(*anchor) + " of the screen (an area about " +
           percent(anchor->width) + " \u00D7 " + percent(anchor->height) + " of the frame).";
}

}  // namespace TranscriptRules

std::shared_ptr<const TranscriptRulesEvidenceProvider::Segments> TranscriptRulesEvidenceProvider::segments(
    const std::filesystem::path& bundleDirectory) {
    const std::lock_guard lock(mutex_);
    if (cachedSegments_ && cachedBundle_ == bundleDirectory) return cachedSegments_;
    auto segments = std::make_shared<Segments>();
    // Without a usable transcript copy the sentences are ranked by their text alone.
    try {
        const auto bundle = EvidenceBundleDocument::fromJSON(parseJSON(readWholeFile(bundleDirectory / kEvidenceFileName)));
        const auto file = resolveInside(bundleDirectory, bundle.session.transcript.path);
        std::error_code missing;
        if (file && std::filesystem::is_regular_file(*file, missing)) *segments = readTranscript(*file).segments;
    } catch (const DecodingError&) {
        segments->clear();
    }
    cachedBundle_ = bundleDirectory;
    cachedSegments_ = std::move(segments);
    return cachedSegments_;
}

std::optional<GroundedFeedbackItem> TranscriptRulesEvidenceProvider::analyze(
    const EvidenceBundleDocument::Candidate& candidate, const std::filesystem::path& bundleDirectory,
    std::stop_token stop) {
    if (stop.stop_requested()) throw CancellationError();
    const auto known = segments(bundleDirectory);
    std::function<double(std::string_view)> distance;
    // A sentence is as far from the moment as the nearest start of a segment that holds it or lies
    // within it: the moment is where the triggering segment starts.
    if (!known->empty())
        distance = [&](std::string_view sentence) {
            double nearest = kFar;
            for (const auto& segment : *known) {
                const auto text = trimmingWhitespaceAndNewlines(segment.text);
                if (text.empty() || (segment.text.find(sentence) == std::string::npos &&
                                     sentence.find(text) == std::string_view::npos))
                    continue;
                nearest = std::min(nearest, secondsOutside(segment.startSeconds, candidate.rangeStartSeconds,
                                                           candidate.rangeEndSeconds));
            }
            return nearest;
        };
    const auto sentence = TranscriptRules::quotedSentence(candidate.transcriptContext, candidate.trigger, distance);
    if (!sentence) return std::nullopt;
    const std::string spoken(*sentence);
    const FeedbackPayload payload{TranscriptRules::component(spoken), TranscriptRules::observed(candidate.visualAnchor),
                                  spoken, spoken, kTranscriptRulesConfidence, citedFrames(candidate)};
    // The same grounding rules as a model's answer, so a fault here can never yield an ungrounded item.
    return GeminiEvidenceAnalyzer::groundedItem(payload, candidate);
}

}  // namespace quillmer
