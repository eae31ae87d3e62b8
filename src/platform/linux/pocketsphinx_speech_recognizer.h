#pragma once

#include <filesystem>
#include <map>
#include <mutex>
#include <string>

#include "platform/speech_recognizer.h"

namespace quillmer {

inline constexpr const char* kPocketSphinxModelRoot = "/usr/share/pocketsphinx/model";

// On-device recognition with the PocketSphinx model installed for a locale: en-US reads
// "<root>/en-us/" with the acoustic model "en-us/", "en-us.lm.bin" and "cmudict-en-us.dict".
// A model counts as installed only once the library has loaded it in a separate process, because
// PocketSphinx ends the process that loads a malformed model; the answer is kept per model.
class PocketSphinxRecognizerProvider final : public SpeechRecognizerProvider {
public:
    explicit PocketSphinxRecognizerProvider(std::filesystem::path modelRoot = kPocketSphinxModelRoot)
        : modelRoot_(std::move(modelRoot)) {}

    SpeechModelStatus modelStatus(std::string_view localeIdentifier) const override;
    std::unique_ptr<SpeechRecognizer> makeRecognizer(std::string_view localeIdentifier) override;

private:
    std::filesystem::path modelRoot_;
    mutable std::mutex loadableMutex_;
    mutable std::map<std::string, bool> loadable_;  // model name → loads without ending the process
};

}  // namespace quillmer
