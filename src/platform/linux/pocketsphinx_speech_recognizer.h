#pragma once

#include <filesystem>

#include "platform/speech_recognizer.h"

namespace quillmer {

inline constexpr const char* kPocketSphinxModelRoot = "/usr/share/pocketsphinx/model";

// On-device recognition with the PocketSphinx model installed for a locale: en-US reads
// "<root>/en-us/" with the acoustic model "en-us/", "en-us.lm.bin" and "cmudict-en-us.dict".
class PocketSphinxRecognizerProvider final : public SpeechRecognizerProvider {
public:
    explicit PocketSphinxRecognizerProvider(std::filesystem::path modelRoot = kPocketSphinxModelRoot)
        : modelRoot_(std::move(modelRoot)) {}

    SpeechModelStatus modelStatus(std::string_view localeIdentifier) const override;
    std::unique_ptr<SpeechRecognizer> makeRecognizer(std::string_view localeIdentifier) override;

private:
    std::filesystem::path modelRoot_;
};

}  // namespace quillmer
