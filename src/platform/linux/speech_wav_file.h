#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

namespace quillmer {

// The audio form speech recognition reads here: 16 kHz, mono, signed 16-bit little-endian PCM in
// a RIFF WAV file.
inline constexpr int kSpeechSampleRate = 16'000;

// Throws FileSystemError.
void writeSpeechWav(const std::filesystem::path& file, std::span<const int16_t> samples);

// The samples of a file in that form. Throws FileSystemError when unreadable, DecodingError when
// it is not a WAV file of that form.
std::vector<int16_t> readSpeechWav(const std::filesystem::path& file);

}  // namespace quillmer
