#pragma once

#include <filesystem>
#include <memory>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

namespace quillmer {

// One timed piece of recognized text (a word or short phrase).
struct RecognizedPiece {
    double timestamp = 0;  // seconds from the start of the recognized audio
    double duration = 0;
    std::string text;
    double confidence = 0;  // 0 to 1
    bool operator==(const RecognizedPiece&) const = default;
};

// Recognizes speech strictly on this computer with one locale's installed model.
class SpeechRecognizer {
public:
    virtual ~SpeechRecognizer() = default;
    // The pieces of one audio file (16 kHz mono 16-bit WAV) in spoken order. Throws Error when the
    // file cannot be read, CancellationError when `stop` is requested meanwhile.
    virtual std::vector<RecognizedPiece> recognize(const std::filesystem::path& audioFile, std::stop_token stop) = 0;
};

enum class SpeechModelStatus {
    installed,
    notInstalled,    // no model for that language on this computer
    unreadable,      // the model files exist but cannot be read
    invalidLocale,   // not a language tag
};

class SpeechRecognizerProvider {
public:
    virtual ~SpeechRecognizerProvider() = default;
    virtual SpeechModelStatus modelStatus(std::string_view localeIdentifier) const = 0;
    // A recognizer for an installed model, or nullptr when it cannot be loaded.
    virtual std::unique_ptr<SpeechRecognizer> makeRecognizer(std::string_view localeIdentifier) = 0;
};

}  // namespace quillmer
