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
    explicit ContextWindowFinder(const std::vector<LocalTranscriptSegment>& segments) : segments_(segments) {
        for (size_t i = 0; i < segments_.size(); ++i) {
            longestDuration_ = std::max(longestDuration_, segments_[i].durationSeconds);
            if (i > 0 && !(segments_[i - 1].startSeconds <= segments_[i].startSeconds)) sorted_ = false;
        }
    }

    bool sorted() const { return sorted_; }

    // In start order: how many segments start at or before `time` (none for a time that is not a number).
    size_t endOfStartsUpTo(double time) const {
        if (std::isnan(time)) return 0;
        return static_cast<size_t>(std::upper_bound(segments_.begin(), segments_.end(), time,
                                                    [](double value, const LocalTranscriptSegment& s) {
                                                        return value < s.startSeconds;
                                                    }) -
                                   segments_.begin());
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
            end = std::max(endOfStartsUpTo(upper), index + 1);
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

// The request signals of a run of segments, as if their normalised texts were joined with one
// blank: the request words seen, and whether a request phrase occurs. Two runs combine in order
// without their texts: a phrase that crosses the joining blank lies within the longest phrase's
// length of it, so each run keeps only that much of its beginning and end.
struct RequestSignals {
    uint32_t words = 0;
    bool phrase = false;
    bool empty = true;
    std::string head;  // the first kReach characters of the joined text
    std::string tail;  // the last kReach characters

    static constexpr size_t kReach = longestPhrase() - 1;

    static RequestSignals of(const SegmentWords& segment) {
        RequestSignals signals;
        signals.words = segment.requestWords;
        if (segment.normalized.empty()) return signals;
        signals.empty = false;
        signals.phrase = segment.hasRequestPhrase;
        signals.head = segment.normalized.substr(0, kReach);
        signals.tail = segment.normalized.substr(segment.normalized.size() - std::min(kReach, segment.normalized.size()));
        return signals;
    }

    // This run followed by `next`.
    RequestSignals then(const RequestSignals& next) const {
        if (next.empty) return {words | next.words, phrase, empty, head, tail};
        if (empty) return {words | next.words, next.phrase, false, next.head, next.tail};
        RequestSignals joined;
        joined.words = words | next.words;
        joined.empty = false;
        joined.phrase = phrase || next.phrase || containsAnyPhrase(tail + ' ' + next.head, kRequestPhrases);
        // A text shorter than kReach is its own head and tail, so the joined ends reach into the other run.
        joined.head = head.size() < kReach ? (head + ' ' + next.head).substr(0, kReach) : head;
        if (next.tail.size() < kReach) {
            const std::string end = tail + ' ' + next.tail;
            joined.tail = end.substr(end.size() - std::min(kReach, end.size()));
        } else {
            joined.tail = next.tail;
        }
        return joined;
    }
};

// Signals of any range of segments in transcript order, with segments that are switched off
// counting as absent (a segment tree, combining left to right).
class SignalTree {
public:
    explicit SignalTree(std::vector<RequestSignals> leaves) : size_(leaves.size()), nodes_(2 * leaves.size()) {
        std::move(leaves.begin(), leaves.end(), nodes_.begin() + static_cast<std::ptrdiff_t>(size_));
        for (size_t n = size_; n-- > 1;) nodes_[n] = nodes_[2 * n].then(nodes_[2 * n + 1]);
    }

    void switchOff(size_t index) {
        size_t n = index + size_;
        nodes_[n] = {};
        for (n /= 2; n >= 1; n /= 2) nodes_[n] = nodes_[2 * n].then(nodes_[2 * n + 1]);
    }

    // Segments [begin, end), in order.
    RequestSignals range(size_t begin, size_t end) const {
        RequestSignals left, right;
        for (size_t l = begin + size_, r = end + size_; l < r; l /= 2, r /= 2) {
            if (l & 1) left = left.then(nodes_[l++]);
            if (r & 1) right = nodes_[--r].then(right);
        }
        return left.then(right);
    }

private:
    size_t size_;
    std::vector<RequestSignals> nodes_;
};

// The request signals of every segment's scoring window. Segments in start order (as every
// producer stores them) are swept once: as the windows move later, a segment that ended before a
// window's start is switched off for good, and what remains up to the last segment starting
// within the window is one range, so a window costs a logarithmic number of combinations however
// many segments it holds. Any other order is scanned window by window.
std::vector<RequestSignals> windowSignals(const std::vector<LocalTranscriptSegment>& segments,
                                          const std::vector<SegmentWords>& analysed, double seconds) {
    std::vector<RequestSignals> own;
    own.reserve(segments.size());
    for (const auto& entry : analysed) own.push_back(RequestSignals::of(entry));
    std::vector<RequestSignals> windows(segments.size());

    const ContextWindowFinder finder(segments);
    if (!finder.sorted()) {
        for (size_t i = 0; i < segments.size(); ++i)
            finder.forEach(i, seconds, [&](size_t k) { windows[i] = windows[i].then(own[k]); });
        return windows;
    }

    SignalTree tree(own);
    std::vector<size_t> byEnd;
    byEnd.reserve(segments.size());
    for (size_t k = 0; k < segments.size(); ++k) {
        if (std::isnan(segmentEnd(segments[k]))) tree.switchOff(k);  // it reaches no window but its own
        else byEnd.push_back(k);
    }
    std::stable_sort(byEnd.begin(), byEnd.end(),
                     [&](size_t a, size_t b) { return segmentEnd(segments[a]) < segmentEnd(segments[b]); });
    size_t expired = 0;
    for (size_t i = 0; i < segments.size(); ++i) {
        const double lower = std::max(0.0, segments[i].startSeconds - seconds);
        const double upper = segmentEnd(segments[i]) + seconds;
        // Window starts never move back in start order, so what ended before one is out of every later one.
        for (; expired < byEnd.size() && segmentEnd(segments[byEnd[expired]]) < lower; ++expired)
            tree.switchOff(byEnd[expired]);
        const size_t last = finder.endOfStartsUpTo(upper);  // segments [0, last) start within the window
        // The segment itself always belongs, whatever its own times say.
        windows[i] = tree.range(0, std::min(last, i)).then(own[i]).then(tree.range(i + 1, std::max(last, i + 1)));
    }
    return windows;
}

class MomentScorer {
public:
    explicit MomentScorer(const LocalTranscript& transcript) {
        analysed_.reserve(transcript.segments.size());
        for (const auto& segment : transcript.segments) {
            SegmentWords entry;
            entry.words = tokenize(segment.text);
            entry.normalized = normalizedText(entry.words);
            entry.requestWords = requestWordMask(entry.words);
            entry.hasRequestPhrase = containsAnyPhrase(entry.normalized, kRequestPhrases);
            analysed_.push_back(std::move(entry));
        }
        windows_ = windowSignals(transcript.segments, analysed_, kScoringContextSeconds);
    }

    std::optional<CandidateMoment> score(size_t index) const {
        const SegmentWords& own = analysed_[index];
        const auto trigger = triggerWord(own.words);
        if (!trigger) return std::nullopt;

        const RequestSignals& context = windows_[index];
        const int64_t requestScore = (context.phrase ? 2 : 0) + std::popcount(context.words);
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
    std::vector<SegmentWords> analysed_;
    std::vector<RequestSignals> windows_;
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
    return ContextWindowFinder(transcript.segments).indices(index, seconds);
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
