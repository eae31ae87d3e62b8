#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "platform/process_runner.h"

namespace quillmer::testing {

// Media for tests and benchmarks, made on the spot with Debian's flite and ffmpeg.

// Runs /usr/bin/<tool>; throws std::runtime_error with its standard error when it fails.
ProcessResult runTool(const std::string& tool, const std::vector<std::string>& arguments);

// Speaks `text` into a 16 kHz mono WAV file with a flite voice; returns its length in seconds. The
// default `rms` voice is one PocketSphinx hears almost word for word (espeak-ng's it mostly misses).
double speak(const std::string& text, const std::filesystem::path& wav, const std::string& voice = "rms");

struct PlacedSpeech {
    double atSeconds;
    std::filesystem::path wav;
};

// An AAC track like a capture writes (48 kHz stereo M4A) of `totalSeconds`, silent except for
// the placed speech.
void makeAudioTrack(const std::filesystem::path& m4a, const std::vector<PlacedSpeech>& speech, double totalSeconds);

}  // namespace quillmer::testing
