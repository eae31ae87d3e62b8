#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "transcription/local_transcript.h"

namespace quillmer {

// A segment that qualifies as spoken feedback about the screen; never stored.
struct CandidateMoment {
    int64_t index = 0;    // position of the segment in the transcript's segments
    std::string trigger;  // the word that triggered it, lower case
    int64_t score = 0;    // higher is stronger
    bool operator==(const CandidateMoment&) const = default;
};

// One selected moment: the segment index and its trigger word.
struct SelectedMoment {
    int64_t index = 0;
    std::string trigger;
    bool operator==(const SelectedMoment&) const = default;
};

// Seconds of transcript around a segment that its request signals are read from.
inline constexpr double kScoringContextSeconds = 12.0;
// Moments closer together than this are one moment; the stronger one is kept.
inline constexpr double kMomentSpacingSeconds = 12.0;
inline constexpr size_t kMaximumMoments = 48;

// The trigger word of a segment's words, or nothing.
std::optional<std::string> triggerWord(const std::vector<std::string>& words);

// Whether a "need"/"needs" trigger is really a request (any other trigger passes).
bool needIsRequest(const std::vector<std::string>& words, const std::string& trigger);

// The indices of the segments whose time span overlaps `seconds` around segment `index` (both
// bounds inclusive), in transcript order; the segment itself always belongs.
std::vector<size_t> contextSegments(const LocalTranscript& transcript, size_t index, double seconds);

std::optional<CandidateMoment> scoreSegment(size_t index, const LocalTranscriptSegment& segment,
                                            const LocalTranscript& transcript);

// The selected moments, chronologically: best first, at least 12 seconds apart, at most 48.
std::vector<SelectedMoment> findMoments(const LocalTranscript& transcript);

}  // namespace quillmer
