#include "evidence/moment_detection.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <string_view>
#include <unordered_map>

#include "evidence/feedback_vocabulary.h"

namespace quillmer {

namespace {

double segmentEnd(const LocalTranscriptSegment& segment) { return segment.startSeconds + segment.durationSeconds; }

// Finds context windows quickly when segments are in start order (the usual case) by scanning
// back from the window's end only as far as the longest segment could reach; any other order
// falls back to looking at every segment.
class ContextWindowFinder {
public:
    explicit ContextWindowFinder(const LocalTranscript& transcript) : segments_(transcript.segments) {
        for (size_t i = 0; i < segments_.size(); ++i) {
            longestDuration_ = std::max(longestDuration_, segments_[i].durationSeconds);
            if (i > 0 && !(segments_[i - 1].startSeconds <= segments_[i].startSeconds)) sorted_ = false;
        }
    }

    std::vector<size_t> indices(size_t index, double seconds) const {
        std::vector<size_t> result;
        forEach(index, seconds, [&](size_t k) { result.push_back(k); });
        return result;
    }

    // Calls `visit` with each index of the window, in transcript order.
    template <typename Visit>
    void forEach(size_t index, double seconds, Visit&& visit) const {
        const auto& segment = segments_[index];
        const double lower = std::max(0.0, segment.startSeconds - seconds);
        const double upper = segmentEnd(segment) + seconds;
        const auto belongs = [&](size_t k) {
            return k == index || (lower <= segmentEnd(segments_[k]) && segments_[k].startSeconds <= upper);
        };
        size_t begin = 0, end = segments_.size();
        if (sorted_) {
            // The last segment that starts at or before `upper`, then back while one could still reach `lower`.
            const auto after = std::upper_bound(segments_.begin(), segments_.end(), upper,
                                                [](double value, const LocalTranscriptSegment& s) { return value < s.startSeconds; });
            end = std::max(static_cast<size_t>(after - segments_.begin()), index + 1);
            begin = end;
            while (begin > 0 && segments_[begin - 1].startSeconds + longestDuration_ >= lower) --begin;
            begin = std::min(begin, index);
        }
        for (size_t k = begin; k < end; ++k)
            if (belongs(k)) visit(k);
    }

private:
    const std::vector<LocalTranscriptSegment>& segments_;
    double longestDuration_ = 0;
    bool sorted_ = true;
};

// One hash lookup per word instead of a pass over the request list.
uint32_t requestWordMask(const std::vector<std::string>& words) {
    static const std::unordered_map<std::string_view, uint32_t> bits = [] {
        std::unordered_map<std::string_view, uint32_t> map;
        for (size_t i = 0; i < kRequestWords.size(); ++i) map.emplace(kRequestWords[i], 1u << i);
        return map;
    }();
    uint32_t mask = 0;
    for (const auto& word : words)
        if (const auto it = bits.find(word); it != bits.end()) mask |= it->second;
    return mask;
}

// What scoring needs of one segment, worked out once per run.
struct SegmentWords {
    std::vector<std::string> words;
    std::string normalized;
    uint32_t requestWords = 0;
    bool hasRequestPhrase = false;
};

constexpr size_t longestPhrase() {
    size_t longest = 0;
    for (const auto phrase : kRequestPhrases) longest = std::max(longest, phrase.size());
    return longest;
}

// Whether the normalised text of a window (its segments' texts joined with one blank) holds a
// request phrase, without building that text: a phrase lies inside one segment (worked out once
// per segment) or crosses a joining blank, and then it lies within the longest phrase's length
// of that blank.
class JoinedPhraseScan {
public:
    void add(const SegmentWords& part) {
        if (part.normalized.empty()) return;
        found_ = found_ || part.hasRequestPhrase;
        if (found_) return;
        if (!tail_.empty()) {
            std::string around = tail_;
            around.push_back(' ');
            around.append(part.normalized, 0, kReach);
            found_ = containsAnyPhrase(around, kRequestPhrases);
            tail_.push_back(' ');
        }
        tail_ += part.normalized;
        if (tail_.size() > kReach) tail_.erase(0, tail_.size() - kReach);
    }
    bool found() const { return found_; }

private:
    static constexpr size_t kReach = longestPhrase() - 1;
    std::string tail_;
    bool found_ = false;
};

class MomentScorer {
public:
    explicit MomentScorer(const LocalTranscript& transcript) : windows_(transcript) {
        analysed_.reserve(transcript.segments.size());
        for (const auto& segment : transcript.segments) {
            SegmentWords entry;
            entry.words = tokenize(segment.text);
            entry.normalized = normalizedText(entry.words);
            entry.requestWords = requestWordMask(entry.words);
            entry.hasRequestPhrase = containsAnyPhrase(entry.normalized, kRequestPhrases);
            analysed_.push_back(std::move(entry));
        }
    }

    std::optional<CandidateMoment> score(size_t index) const {
        const SegmentWords& own = analysed_[index];
        const auto trigger = triggerWord(own.words);
        if (!trigger) return std::nullopt;

        // The context's words are the words of its segments in order (the joining blank separates
        // words anyway); only the phrase check looks across segments.
        uint32_t requestWords = 0;
        JoinedPhraseScan phrases;
        windows_.forEach(index, kScoringContextSeconds, [&](size_t k) {
            requestWords |= analysed_[k].requestWords;
            phrases.add(analysed_[k]);
        });
        const int64_t requestScore = (phrases.found() ? 2 : 0) + std::popcount(requestWords);
        const bool demonstration = containsAnyPhrase(own.normalized, kDemonstrationPhrases);
        const bool modal = isListedWord(kModalWords, *trigger);
        const bool modalOK = modal && needIsRequest(own.words, *trigger);

        int64_t score = 0;
        if (isListedWord(kActionWords, *trigger)) {
            if (demonstration) return std::nullopt;
            score = requestScore + 3;
        } else if (modalOK) {
            score = requestScore + 6;
        } else {
            if (modal || demonstration || requestScore < 2) return std::nullopt;
            score = requestScore;
        }
        return CandidateMoment{static_cast<int64_t>(index), *trigger, score};
    }

private:
    ContextWindowFinder windows_;
    std::vector<SegmentWords> analysed_;
};

}  // namespace

std::optional<std::string> triggerWord(const std::vector<std::string>& words) {
    for (const auto& word : words)
        if (isListedWord(kModalWords, word)) return word;
    if (!words.empty() && isListedWord(kActionWords, words.front())) return words.front();
    for (const auto& word : words)
        if (isListedWord(kDeicticWords, word)) return word;
    for (const auto& word : words)
        if (isListedWord(kActionWords, word)) return word;
    return std::nullopt;
}

bool needIsRequest(const std::vector<std::string>& words, const std::string& trigger) {
    if (trigger != "need" && trigger != "needs") return true;
    const std::string normalized = normalizedText(words);
    if (containsAnyPhrase(normalized, kNeedNegationPhrases)) return false;
    for (const auto& word : words)
        if (isListedWord(kActionWords, word) || isListedWord(kDeicticWords, word)) return true;
    return containsAnyPhrase(normalized, kNeedRequestPhrases);
}

std::vector<size_t> contextSegments(const LocalTranscript& transcript, size_t index, double seconds) {
    if (index >= transcript.segments.size()) return {};
    return ContextWindowFinder(transcript).indices(index, seconds);
}

std::optional<CandidateMoment> scoreSegment(size_t index, const LocalTranscriptSegment& segment,
                                            const LocalTranscript& transcript) {
    if (index >= transcript.segments.size()) return std::nullopt;
    // Scored as the given segment at that position of the transcript.
    LocalTranscript copy = transcript;
    copy.segments[index] = segment;
    return MomentScorer(copy).score(index);
}

std::vector<SelectedMoment> findMoments(const LocalTranscript& transcript) {
    const auto& segments = transcript.segments;
    const MomentScorer scorer(transcript);
    std::vector<CandidateMoment> moments;
    for (size_t i = 0; i < segments.size(); ++i)
        if (auto moment = scorer.score(i)) moments.push_back(std::move(*moment));

    const auto start = [&](const CandidateMoment& m) { return segments[static_cast<size_t>(m.index)].startSeconds; };
    std::stable_sort(moments.begin(), moments.end(), [&](const CandidateMoment& a, const CandidateMoment& b) {
        if (a.score != b.score) return a.score > b.score;
        return start(a) < start(b);
    });

    std::vector<const CandidateMoment*> accepted;
    for (const auto& moment : moments) {
        if (accepted.size() >= kMaximumMoments) break;
        const double t = start(moment);
        const bool farEnough = std::all_of(accepted.begin(), accepted.end(), [&](const CandidateMoment* other) {
            return std::fabs(t - start(*other)) >= kMomentSpacingSeconds;
        });
        if (farEnough) accepted.push_back(&moment);
    }
    std::stable_sort(accepted.begin(), accepted.end(),
                     [&](const CandidateMoment* a, const CandidateMoment* b) { return start(*a) < start(*b); });

    std::vector<SelectedMoment> selected;
    selected.reserve(accepted.size());
    for (const auto* moment : accepted) selected.push_back({moment->index, moment->trigger});
    return selected;
}

}  // namespace quillmer
