// Real-time factor and word error of on-device transcription, beside PocketSphinx's own
// command-line tool on the same audio, on two kinds of speech:
// - a generated five-minute, two-track product meeting spoken by flite's `rms` voice (the voice of
//   the demo and the tests), run through the whole transcriber (decoding, chunks, utterances);
// - the recorded human speech of Debian's pocketsphinx-testdata (LibriVox, with its reference text),
//   run through the recognizer alone, since those files already are 16 kHz mono WAV.
// Whole-process timings; run it on an otherwise idle machine.
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "capture/session_folder.h"
#include "platform/linux/ffmpeg_audio_track_reader.h"
#include "platform/linux/pocketsphinx_speech_recognizer.h"
#include "platform/linux/posix_process_runner.h"
#include "platform/linux/speech_wav_file.h"
#include "support/speech_media.h"
#include "support/temporary_folder.h"
#include "transcription/session_transcriber.h"

namespace {

using namespace quillmer;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr double kMeetingSeconds = 300;
const fs::path kLibriVox = "/usr/share/pocketsphinx/test/data/librivox";

const std::vector<std::string> kSentences = {
    "you need to fix the header on this page",
    "can we move this button here",
    "the logo looks too small on the login screen",
    "make this text bigger please",
    "I think the menu should open on the left",
    "this color is too dark for the background",
    "we should add a search field at the top",
    "the footer links are broken on mobile",
    "can you change the font of this title",
    "let us remove this banner completely",
    "the save button should be green",
    "move the settings icon next to the profile picture",
    "this table needs a column for the date",
    "the chart is hard to read here",
    "please align these cards in a grid",
    "the error message should be red",
    "we need more space between these rows",
    "put the price under the product name",
    "this dropdown is too narrow",
    "can we make the sidebar collapsible",
};

std::vector<std::string> words(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string word; in >> word;) {
        std::string clean;
        for (const char c : word)
            if (std::isalnum(static_cast<unsigned char>(c)) || c == '\'') clean += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (!clean.empty()) result.push_back(clean);
    }
    return result;
}

// Word-level edit distance (substitutions, insertions, deletions).
size_t wordErrors(const std::vector<std::string>& reference, const std::vector<std::string>& hypothesis) {
    std::vector<size_t> previous(hypothesis.size() + 1), current(hypothesis.size() + 1);
    for (size_t j = 0; j <= hypothesis.size(); ++j) previous[j] = j;
    for (size_t i = 1; i <= reference.size(); ++i) {
        current[0] = i;
        for (size_t j = 1; j <= hypothesis.size(); ++j)
            current[j] = std::min({previous[j] + 1, current[j - 1] + 1,
                                   previous[j - 1] + (reference[i - 1] == hypothesis[j - 1] ? 0 : 1)});
        std::swap(previous, current);
    }
    return previous[hypothesis.size()];
}

// Words of pocketsphinx_continuous -time yes output ("word start end confidence" lines), without
// fillers and pronunciation variants, as the transcriber keeps them.
std::vector<std::string> timedWords(const std::string& output) {
    std::vector<std::string> result;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::string word;
        double start, end, confidence;
        std::string rest;
        if (!(fields >> word >> start >> end >> confidence) || (fields >> rest)) continue;
        if (word.empty() || word.front() == '<' || word.front() == '[') continue;
        if (const auto open = word.find('('); open != std::string::npos && open > 0) word.resize(open);
        for (auto& w : words(word)) result.push_back(w);
    }
    return result;
}

double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// pocketsphinx_continuous on one 16 kHz mono WAV file with the installed en-US model, asked for
// word times and confidences as the transcriber is; adds its run time to `elapsed`.
std::vector<std::string> continuousWords(const fs::path& wav, double& elapsed) {
    const fs::path model = fs::path(kPocketSphinxModelRoot) / "en-us";
    ProcessRequest request;
    request.executable = "/usr/bin/pocketsphinx_continuous";
    request.arguments = {"-infile", wav.string(), "-hmm", (model / "en-us").string(), "-lm",
                         (model / "en-us.lm.bin").string(), "-dict", (model / "cmudict-en-us.dict").string(),
                         "-time", "yes", "-logfn", "/dev/null"};
    const auto started = Clock::now();
    const auto result = PosixProcessRunner().run(request);
    elapsed += seconds(Clock::now() - started);
    if (!result.succeeded())
        throw std::runtime_error("pocketsphinx_continuous failed: " + result.launchError + result.standardError);
    return timedWords(result.standardOutput);
}

double percent(size_t errors, size_t words) { return 100.0 * static_cast<double>(errors) / static_cast<double>(words); }

void report(const char* who, double elapsed, double audioSeconds, double wer) {
    std::printf("  %-26s %7.2f s  RTF %.4f  WER %5.1f %%\n", who, elapsed, elapsed / audioSeconds, wer);
}

// The LibriVox utterances and their reference words, from the data set's own `transcription` file
// ("<s> words </s> (file-id)" per line).
struct Utterance {
    fs::path wav;
    std::vector<std::string> referenceWords;
};

std::vector<Utterance> libriVoxUtterances() {
    std::vector<Utterance> utterances;
    std::ifstream in(kLibriVox / "transcription");
    for (std::string line; std::getline(in, line);) {
        const size_t open = line.rfind('(');
        const size_t close = line.rfind(')');
        if (open == std::string::npos || close == std::string::npos || close < open) continue;
        std::vector<std::string> reference;
        for (auto& w : words(line.substr(0, open)))
            if (w != "s") reference.push_back(w);  // the <s> and </s> marks
        utterances.push_back({kLibriVox / (line.substr(open + 1, close - open - 1) + ".wav"), std::move(reference)});
    }
    return utterances;
}

int libriVoxComparison() {
    const auto utterances = libriVoxUtterances();
    if (utterances.empty()) {
        std::printf("recorded speech: %s not found (Debian package pocketsphinx-testdata)\n", kLibriVox.c_str());
        return 1;
    }
    PocketSphinxRecognizerProvider speech;
    const auto recognizer = speech.makeRecognizer("en-US");
    double audioSeconds = 0, ours = 0, theirs = 0;
    size_t referenceWords = 0, ourErrors = 0, theirErrors = 0;
    for (const auto& utterance : utterances) {
        audioSeconds += static_cast<double>(readSpeechWav(utterance.wav).size()) / kSpeechSampleRate;
        const auto started = Clock::now();
        std::vector<std::string> heard;
        for (const auto& piece : recognizer->recognize(utterance.wav, {}))
            for (auto& w : words(piece.text)) heard.push_back(w);
        ours += seconds(Clock::now() - started);
        ourErrors += wordErrors(utterance.referenceWords, heard);
        theirErrors += wordErrors(utterance.referenceWords, continuousWords(utterance.wav, theirs));
        referenceWords += utterance.referenceWords.size();
    }
    std::printf("recorded human speech (pocketsphinx-testdata LibriVox): %zu utterances, %.1f s, %zu reference words\n",
                utterances.size(), audioSeconds, referenceWords);
    report("quillmer recognizer:", ours, audioSeconds, percent(ourErrors, referenceWords));
    report("pocketsphinx_continuous:", theirs, audioSeconds, percent(theirErrors, referenceWords));
    return 0;
}

struct Track {
    std::string file;
    std::vector<testing::PlacedSpeech> speech;
    std::vector<std::string> referenceWords;
};

int meetingComparison() {
    testing::TemporaryFolder media;
    testing::TemporaryFolder session;

    // The remote side speaks on the system track; the operator answers on the microphone.
    Track system{kSystemAudioFileName, {}, {}};
    Track microphone{kMicrophoneAudioFileName, {}, {}};
    double at = 1.0;
    for (size_t i = 0;; ++i) {
        const auto wav = media / ("s" + std::to_string(i) + ".wav");
        const auto& sentence = kSentences[i % kSentences.size()];
        const double length = testing::speak(sentence, wav);
        if (at + length > kMeetingSeconds - 1) break;
        Track& track = i % 3 != 2 ? system : microphone;
        track.speech.push_back({at, wav});
        for (auto& w : words(sentence)) track.referenceWords.push_back(w);
        at += length + 0.9;
    }
    for (const Track* track : {&system, &microphone})
        testing::makeAudioTrack(session / track->file, track->speech, kMeetingSeconds);

    LocalSessionManifest manifest;
    manifest.id = Uuid::random();
    manifest.createdAt = std::chrono::system_clock::now();
    manifest.videoFile = kScreenVideoFileName;
    manifest.systemAudioFile = system.file;
    manifest.microphoneAudioFile = microphone.file;
    writeManifest(session.path(), manifest);
    const double audioSeconds = 2 * kMeetingSeconds;

    // Quillmer: decoding, 55-second chunks, recognition, utterances, storing.
    LocalOnlyRouteDecider route;
    FFmpegAudioTrackReaderFactory audio;
    PocketSphinxRecognizerProvider speech;
    const auto started = Clock::now();
    const auto transcript = SessionTranscriber(route, audio, speech).transcribe(session.path(), "en-US", nullptr);
    const double ours = seconds(Clock::now() - started);

    std::map<std::string, std::vector<std::string>> ourWords;
    for (const auto& segment : transcript.segments)
        for (auto& w : words(segment.text)) ourWords[*segment.sourceTrack].push_back(w);

    // The recognizer's own tool on the same audio, decoded beforehand to the 16 kHz mono WAV it reads.
    double theirs = 0;
    std::map<std::string, std::vector<std::string>> theirWords;
    for (const Track* track : {&system, &microphone}) {
        const auto wav = media / (track->file + ".wav");
        testing::runTool("ffmpeg", {"-v", "error", "-i", (session / track->file).string(), "-ac", "1", "-ar", "16000", wav.string()});
        theirWords[track == &system ? "system-audio" : "microphone"] = continuousWords(wav, theirs);
    }

    const size_t referenceWords = system.referenceWords.size() + microphone.referenceWords.size();
    const auto wer = [&](std::map<std::string, std::vector<std::string>>& hypotheses) {
        return percent(wordErrors(system.referenceWords, hypotheses["system-audio"]) +
                           wordErrors(microphone.referenceWords, hypotheses["microphone"]),
                       referenceWords);
    };
    std::printf("generated meeting (flite rms voice): %.0f s in two tracks, %zu reference words, %zu segments\n",
                audioSeconds, referenceWords, transcript.segments.size());
    report("quillmer transcribe:", ours, audioSeconds, wer(ourWords));
    report("pocketsphinx_continuous:", theirs, audioSeconds, wer(theirWords));
    std::printf("  ratio quillmer / pocketsphinx_continuous: %.2f\n", ours / theirs);
    return 0;
}

}  // namespace

int main() {
    std::printf("Generating a %.0f-second two-track meeting with flite...\n", kMeetingSeconds);
    const int meeting = meetingComparison();
    const int recorded = libriVoxComparison();
    return meeting != 0 ? meeting : recorded;
}
