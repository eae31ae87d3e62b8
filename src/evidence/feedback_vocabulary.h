#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace quillmer {

// The fixed word and phrase lists of moment detection, all lower case. Word lists are matched
// against whole words; phrase lists as plain substrings of a normalised text, with no word-boundary
// check (so a phrase ending in a blank needs a further word after it).
inline constexpr std::array<std::string_view, 4> kModalWords = {"should", "need", "needs", "must"};
inline constexpr std::array<std::string_view, 9> kActionWords = {"change", "move",    "fix",  "remove", "add",
                                                                 "replace", "hide", "show", "wrong"};
inline constexpr std::array<std::string_view, 4> kDeicticWords = {"this", "that", "here", "there"};
inline constexpr std::array<std::string_view, 18> kRequestWords = {
    "should", "shouldn", "need",  "needs", "please", "make",    "keep", "instead", "better",
    "wrong",  "fix",     "remove", "change", "move",  "add",     "replace", "hide", "show"};
inline constexpr std::array<std::string_view, 5> kRequestPhrases = {"dont like", "do not like", "should not",
                                                                    "can we", "lets"};
inline constexpr std::array<std::string_view, 7> kDemonstrationPhrases = {
    "i can ", "you can ", "we have ", "this is ", "menu shows ", "screen shows ", "page shows "};
inline constexpr std::array<std::string_view, 6> kNeedNegationPhrases = {
    "if we need", "do you need", "what do you need", "what i ll need", "i don t need you", "i dont need you"};
inline constexpr std::array<std::string_view, 9> kNeedRequestPhrases = {
    "need to", "needs to", "you need", "we need", "need the", "need a", "need an", "don t need", "dont need"};

template <size_t N>
bool isListedWord(const std::array<std::string_view, N>& list, std::string_view word) {
    for (const auto member : list)
        if (member == word) return true;
    return false;
}

template <size_t N>
bool containsAnyPhrase(std::string_view normalizedText, const std::array<std::string_view, N>& phrases) {
    for (const auto phrase : phrases)
        if (normalizedText.find(phrase) != std::string_view::npos) return true;
    return false;
}

// Lower-cases the text and splits it at every character that is neither a Unicode letter nor a
// number, dropping empty pieces: "Don't move it!" gives don, t, move, it.
std::vector<std::string> tokenize(std::string_view text);

// The words joined with one blank.
std::string normalizedText(const std::vector<std::string>& words);

}  // namespace quillmer
