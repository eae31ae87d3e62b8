#pragma once

#include <vector>

#include "platform/speech_recognizer.h"

namespace quillmer {

// Groups a recognizer's timed words into utterances, as caption cues group speech: a new utterance
// starts at a pause of kUtterancePauseSeconds or more, or when a word would make the utterance
// longer than kUtteranceMaxSeconds. An utterance is one piece with its words' text joined by a
// blank, the first word's start, the span up to the last word's end and the mean of the words'
// confidences. Words in any order in, utterances in time order out.
inline constexpr double kUtterancePauseSeconds = 0.5;  // what PocketSphinx's own voice detector needs to end one
inline constexpr double kUtteranceMaxSeconds = 8.0;

std::vector<RecognizedPiece> groupIntoUtterances(std::vector<RecognizedPiece> words);

}  // namespace quillmer
