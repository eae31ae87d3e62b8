#include "transcription/utterances.h"

#include <algorithm>

namespace quillmer {

std::vector<RecognizedPiece> groupIntoUtterances(std::vector<RecognizedPiece> words) {
    // A recognizer that reports out of order must not glue an earlier word onto a later one.
    std::stable_sort(words.begin(), words.end(),
                     [](const RecognizedPiece& a, const RecognizedPiece& b) { return a.timestamp < b.timestamp; });
    std::vector<RecognizedPiece> utterances;
    double confidenceSum = 0;
    int wordCount = 0;
    const auto close = [&] {
        if (wordCount > 0) utterances.back().confidence = confidenceSum / wordCount;
    };
    for (const auto& word : words) {
        const double end = word.timestamp + word.duration;
        if (wordCount > 0) {
            auto& current = utterances.back();
            const double pause = word.timestamp - (current.timestamp + current.duration);
            if (pause < kUtterancePauseSeconds && end - current.timestamp <= kUtteranceMaxSeconds) {
                current.text += " " + word.text;
                current.duration = std::max(current.duration, end - current.timestamp);
                confidenceSum += word.confidence;
                ++wordCount;
                continue;
            }
            close();
        }
        utterances.push_back(word);
        confidenceSum = word.confidence;
        wordCount = 1;
    }
    close();
    return utterances;
}

}  // namespace quillmer
