// Real-time factor and word error of on-device transcription on a generated five-minute,
// two-track product meeting (espeak-ng voices), beside PocketSphinx's own command-line tool on
// the same audio. Whole-process timings; run it on an otherwise idle machine.
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "capture/session_folder.h"
#include "platform/linux/ffmpeg_audio_track_reader.h"
#include "platform/linux/pocketsphinx_speech_recognizer.h"
#include "platform/linux/posix_process_runner.h"
#include "support/speech_media.h"
#include "support/temporary_folder.h"
#include "transcription/session_transcriber.h"

namespace {

using namespace quillmer;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr double kMeetingSeconds = 300;

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

struct Track {
    std::string file;
    std::vector<testing::PlacedSpeech> speech;
    std::vector<std::string> referenceWords;
};

double seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

}  // namespace

int main() {
    testing::TemporaryFolder media;
    testing::TemporaryFolder session;

    // Remote voices take turns on the system track; the operator answers on the microphone.
    std::printf("Generating a %.0f-second two-track meeting with espeak-ng...\n", kMeetingSeconds);
    const std::vector<std::string> remoteVoices{"en-us", "en-us+f3", "en-gb"};
    Track system{kSystemAudioFileName, {}, {}};
    Track microphone{kMicrophoneAudioFileName, {}, {}};
    double at = 1.0;
    for (size_t i = 0;; ++i) {
        const bool remote = i % 3 != 2;
        const auto wav = media / ("s" + std::to_string(i) + ".wav");
        const auto& sentence = kSentences[i % kSentences.size()];
        const double length = testing::speak(sentence, wav, remote ? remoteVoices[i % remoteVoices.size()] : "en-us+m3");
        if (at + length > kMeetingSeconds - 1) break;
        Track& track = remote ? system : microphone;
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

    // Quillmer: decoding, 55-second chunks, recognition, storing.
    LocalOnlyRouteDecider route;
    FFmpegAudioTrackReaderFactory audio;
    PocketSphinxRecognizerProvider speech;
    const auto started = Clock::now();
    const auto transcript = SessionTranscriber(route, audio, speech).transcribe(session.path(), "en-US", nullptr);
    const double ours = seconds(Clock::now() - started);

    std::map<std::string, std::vector<std::string>> ourWords;
    for (const auto& segment : transcript.segments)
        for (auto& w : words(segment.text)) ourWords[*segment.sourceTrack].push_back(w);

    // The recognizer's own tool on the same audio, decoded beforehand to the 16 kHz mono WAV it reads,
    // asked for word times and confidences as the transcriber is.
    const fs::path model = fs::path(kPocketSphinxModelRoot) / "en-us";
    PosixProcessRunner runner;
    double theirs = 0;
    std::map<std::string, std::vector<std::string>> theirWords;
    for (const Track* track : {&system, &microphone}) {
        const auto wav = media / (track->file + ".wav");
        testing::runTool("ffmpeg", {"-v", "error", "-i", (session / track->file).string(), "-ac", "1", "-ar", "16000", wav.string()});
        ProcessRequest request;
        request.executable = "/usr/bin/pocketsphinx_continuous";
        request.arguments = {"-infile", wav.string(), "-hmm", (model / "en-us").string(), "-lm",
                             (model / "en-us.lm.bin").string(), "-dict", (model / "cmudict-en-us.dict").string(),
                             "-time", "yes", "-logfn", "/dev/null"};
        const auto toolStarted = Clock::now();
        const auto result = runner.run(request);
        theirs += seconds(Clock::now() - toolStarted);
        if (!result.succeeded()) {
            std::fprintf(stderr, "pocketsphinx_continuous failed: %s%s\n", result.launchError.c_str(), result.standardError.c_str());
            return 1;
        }
        theirWords[track == &system ? "system-audio" : "microphone"] = timedWords(result.standardOutput);
    }

    const auto wer = [&](std::map<std::string, std::vector<std::string>>& hypotheses) {
        const size_t errors = wordErrors(system.referenceWords, hypotheses["system-audio"]) +
                              wordErrors(microphone.referenceWords, hypotheses["microphone"]);
        return 100.0 * static_cast<double>(errors) / static_cast<double>(system.referenceWords.size() + microphone.referenceWords.size());
    };
    std::printf("audio: %.0f s in two tracks, %zu reference words, %zu segments\n", audioSeconds,
                system.referenceWords.size() + microphone.referenceWords.size(), transcript.segments.size());
    std::printf("quillmer transcribe:       %7.2f s  RTF %.4f  WER %.1f %%\n", ours, ours / audioSeconds, wer(ourWords));
    std::printf("pocketsphinx_continuous:   %7.2f s  RTF %.4f  WER %.1f %%\n", theirs, theirs / audioSeconds, wer(theirWords));
    std::printf("ratio quillmer / pocketsphinx_continuous: %.2f\n", ours / theirs);
    return 0;
}
