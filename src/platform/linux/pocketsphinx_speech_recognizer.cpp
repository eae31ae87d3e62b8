#include "platform/linux/pocketsphinx_speech_recognizer.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <optional>
#include <thread>

#include "core/error.h"
#include "platform/linux/speech_wav_file.h"

#include <pocketsphinx.h>
#include <sphinxbase/err.h>

namespace quillmer {

namespace fs = std::filesystem;

namespace {

struct ModelFiles {
    fs::path acousticModel;
    fs::path languageModel;
    fs::path dictionary;
};

// "en-US" or "en_US" → "en-us"; nullopt for anything that is not a language tag (which also
// keeps the identifier from naming a path outside the model root).
std::optional<std::string> modelName(std::string_view locale) {
    std::string name;
    size_t subtagLength = 0;
    size_t firstSubtagLength = 0;
    for (const char c : locale) {
        if (c == '-' || c == '_') {
            if (subtagLength == 0) return std::nullopt;
            if (firstSubtagLength == 0) firstSubtagLength = subtagLength;
            name += '-';
            subtagLength = 0;
        } else if (std::isalnum(static_cast<unsigned char>(c))) {
            if (firstSubtagLength == 0 && !std::isalpha(static_cast<unsigned char>(c))) return std::nullopt;
            name += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            if (++subtagLength > 8) return std::nullopt;
        } else {
            return std::nullopt;
        }
    }
    if (subtagLength == 0) return std::nullopt;
    if (firstSubtagLength == 0) firstSubtagLength = subtagLength;
    if (firstSubtagLength < 2 || firstSubtagLength > 3) return std::nullopt;
    return name;
}

ModelFiles modelFiles(const fs::path& root, const std::string& name) {
    const fs::path folder = root / name;
    return {folder / name, folder / (name + ".lm.bin"), folder / ("cmudict-" + name + ".dict")};
}

// Recognizer words that are not speech: sentence marks, silence and noise fillers.
bool isFiller(std::string_view word) {
    return word.empty() || word.front() == '<' || word.front() == '[' || word.starts_with("++");
}

// "read(2)" is the second pronunciation of "read".
std::string withoutVariant(std::string_view word) {
    if (word.size() > 3 && word.back() == ')') {
        const size_t open = word.rfind('(');
        if (open != std::string_view::npos && open > 0 &&
            std::all_of(word.begin() + static_cast<long>(open) + 1, word.end() - 1, [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }))
            return std::string(word.substr(0, open));
    }
    return std::string(word);
}

class PocketSphinxRecognizer final : public SpeechRecognizer {
public:
    PocketSphinxRecognizer(ps_decoder_t* decoder, cmd_ln_t* config) : decoder_(decoder), config_(config) {}
    ~PocketSphinxRecognizer() override {
        ps_free(decoder_);
        cmd_ln_free_r(config_);
    }
    PocketSphinxRecognizer(const PocketSphinxRecognizer&) = delete;
    PocketSphinxRecognizer& operator=(const PocketSphinxRecognizer&) = delete;

    // Like pocketsphinx_continuous: one stream per file, cut into utterances where the voice
    // activity detector hears silence; frame numbers count from the start of the stream.
    std::vector<RecognizedPiece> recognize(const fs::path& audioFile, std::stop_token stop) override {
        const std::vector<int16_t> samples = readSpeechWav(audioFile);
        std::vector<RecognizedPiece> pieces;
        if (ps_start_stream(decoder_) < 0 || ps_start_utt(decoder_) < 0) throw Error("PocketSphinx could not start recognizing " + audioFile.filename().string());
        bool inUtterance = false;
        constexpr size_t kBlock = 2048;
        for (size_t offset = 0; offset < samples.size(); offset += kBlock) {
            if (stop.stop_requested()) {
                ps_end_utt(decoder_);
                throw CancellationError();
            }
            const size_t count = std::min(kBlock, samples.size() - offset);
            if (ps_process_raw(decoder_, samples.data() + offset, count, FALSE, FALSE) < 0)
                throw Error("PocketSphinx could not process " + audioFile.filename().string());
            const bool inSpeech = ps_get_in_speech(decoder_) != 0;
            if (inSpeech && !inUtterance) inUtterance = true;
            if (!inSpeech && inUtterance) {
                ps_end_utt(decoder_);
                collect(pieces);
                ps_start_utt(decoder_);
                inUtterance = false;
            }
        }
        ps_end_utt(decoder_);
        if (inUtterance) collect(pieces);
        return pieces;
    }

private:
    void collect(std::vector<RecognizedPiece>& pieces) {
        int32 score = 0;
        if (!ps_get_hyp(decoder_, &score)) return;
        const double frameRate = cmd_ln_int32_r(config_, "-frate");
        logmath_t* logmath = ps_get_logmath(decoder_);
        for (ps_seg_t* segment = ps_seg_iter(decoder_); segment; segment = ps_seg_next(segment)) {
            const char* word = ps_seg_word(segment);
            if (!word || isFiller(word)) continue;
            int startFrame = 0;
            int endFrame = 0;
            ps_seg_frames(segment, &startFrame, &endFrame);
            const double confidence = logmath_exp(logmath, ps_seg_prob(segment, nullptr, nullptr, nullptr));
            pieces.push_back({startFrame / frameRate, std::max(endFrame - startFrame + 1, 0) / frameRate,
                              withoutVariant(word), std::clamp(static_cast<double>(static_cast<float>(confidence)), 0.0, 1.0)});
        }
    }

    ps_decoder_t* decoder_;
    cmd_ln_t* config_;
};

struct Decoder {
    ps_decoder_t* decoder = nullptr;
    cmd_ln_t* config = nullptr;
};

// The decoder of a model, or none when the library refuses it (it may also end the process: see
// loadsInChildProcess).
Decoder loadDecoder(const ModelFiles& files) {
    err_set_logfp(nullptr);  // the library's log goes nowhere; failures surface as errors
    cmd_ln_t* config = cmd_ln_init(nullptr, ps_args(), TRUE, "-hmm", files.acousticModel.c_str(), "-lm",
                                   files.languageModel.c_str(), "-dict", files.dictionary.c_str(), "-logfn",
                                   "/dev/null", nullptr);
    if (!config) return {};
    ps_decoder_t* decoder = ps_init(config);
    if (!decoder) {
        cmd_ln_free_r(config);
        return {};
    }
    return {decoder, config};
}

// PocketSphinx calls exit() on many malformed model files instead of returning an error, and which
// ones depends on each file format's parser. Rather than second-guess every format, the model is
// first loaded by the library itself in a throw-away child process: an exit, a crash or a hang
// there costs only the child. (glibc keeps malloc and stdio usable in the child of a threaded
// process; the child runs the loader and leaves with _exit, so nothing of the parent runs twice.)
bool loadsInChildProcess(const ModelFiles& files) {
    const pid_t child = ::fork();
    if (child < 0) return false;
    if (child == 0) ::_exit(loadDecoder(files).decoder ? 0 : 1);  // no need to free what _exit drops

    constexpr auto kLoadTimeout = std::chrono::seconds(60);  // a sound model loads in well under a second
    const auto deadline = std::chrono::steady_clock::now() + kLoadTimeout;
    int status = 0;
    for (;;) {
        const pid_t done = ::waitpid(child, &status, WNOHANG);
        if (done == child) break;
        if (done < 0 && errno != EINTR) return false;
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(child, SIGKILL);
            while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
            }
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Every file of the model can be read: the two files and everything in the acoustic model folder.
bool allReadable(const ModelFiles& files) {
    if (::access(files.languageModel.c_str(), R_OK) != 0 || ::access(files.dictionary.c_str(), R_OK) != 0 ||
        ::access(files.acousticModel.c_str(), R_OK | X_OK) != 0)
        return false;
    std::error_code error;
    for (fs::directory_iterator entry(files.acousticModel, error), end; !error && entry != end; entry.increment(error))
        if (::access(entry->path().c_str(), R_OK) != 0) return false;
    return !error;
}

}  // namespace

SpeechModelStatus PocketSphinxRecognizerProvider::modelStatus(std::string_view localeIdentifier) const {
    const auto name = modelName(localeIdentifier);
    if (!name) return SpeechModelStatus::invalidLocale;
    const ModelFiles files = modelFiles(modelRoot_, *name);
    std::error_code error;
    if (!fs::is_directory(files.acousticModel, error) || !fs::is_regular_file(files.languageModel, error) ||
        !fs::is_regular_file(files.dictionary, error))
        return SpeechModelStatus::notInstalled;
    if (!allReadable(files)) return SpeechModelStatus::unreadable;

    const std::lock_guard lock(loadableMutex_);
    const auto known = loadable_.find(*name);
    const bool loads = known != loadable_.end() ? known->second : loadable_.emplace(*name, loadsInChildProcess(files)).first->second;
    return loads ? SpeechModelStatus::installed : SpeechModelStatus::notInstalled;
}

std::unique_ptr<SpeechRecognizer> PocketSphinxRecognizerProvider::makeRecognizer(std::string_view localeIdentifier) {
    if (modelStatus(localeIdentifier) != SpeechModelStatus::installed) return nullptr;
    const Decoder decoder = loadDecoder(modelFiles(modelRoot_, *modelName(localeIdentifier)));
    if (!decoder.decoder) return nullptr;
    return std::make_unique<PocketSphinxRecognizer>(decoder.decoder, decoder.config);
}

}  // namespace quillmer
