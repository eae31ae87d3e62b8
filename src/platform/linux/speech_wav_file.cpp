#include "platform/linux/speech_wav_file.h"

#include <cstring>
#include <string>
#include <string_view>

#include "core/atomic_file.h"
#include "core/error.h"

namespace quillmer {

namespace {

void putUInt32(std::string& out, uint32_t value) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

void putUInt16(std::string& out, uint16_t value) {
    out.push_back(static_cast<char>(value & 0xFF));
    out.push_back(static_cast<char>(value >> 8));
}

uint32_t uint32At(std::string_view bytes, size_t offset) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes[offset + i]);
    return value;
}

uint16_t uint16At(std::string_view bytes, size_t offset) {
    return static_cast<uint16_t>(static_cast<unsigned char>(bytes[offset]) | static_cast<unsigned char>(bytes[offset + 1]) << 8);
}

}  // namespace

void writeSpeechWav(const std::filesystem::path& file, std::span<const int16_t> samples) {
    const uint32_t dataBytes = static_cast<uint32_t>(samples.size() * 2);
    std::string out;
    out.reserve(44 + dataBytes);
    out += "RIFF";
    putUInt32(out, 36 + dataBytes);
    out += "WAVEfmt ";
    putUInt32(out, 16);
    putUInt16(out, 1);  // PCM
    putUInt16(out, 1);  // mono
    putUInt32(out, kSpeechSampleRate);
    putUInt32(out, kSpeechSampleRate * 2);
    putUInt16(out, 2);
    putUInt16(out, 16);
    out += "data";
    putUInt32(out, dataBytes);
    for (const int16_t sample : samples) putUInt16(out, static_cast<uint16_t>(sample));
    writeFileAtomically(file, out);
}

std::vector<int16_t> readSpeechWav(const std::filesystem::path& file) {
    const std::string bytes = readWholeFile(file);
    const std::string_view view = bytes;
    const auto fail = [&](const std::string& why) {
        return DecodingError(file.filename().string() + " is not 16 kHz mono 16-bit WAV audio: " + why);
    };
    if (view.size() < 12 || view.substr(0, 4) != "RIFF" || view.substr(8, 4) != "WAVE") throw fail("no RIFF WAVE header");
    bool sawFormat = false;
    for (size_t offset = 12; offset + 8 <= view.size();) {
        const std::string_view id = view.substr(offset, 4);
        const size_t size = uint32At(view, offset + 4);
        const size_t body = offset + 8;
        const size_t available = std::min(size, view.size() - body);
        if (id == "fmt ") {
            if (available < 16) throw fail("short format chunk");
            if (uint16At(view, body) != 1 || uint16At(view, body + 2) != 1 ||
                uint32At(view, body + 4) != kSpeechSampleRate || uint16At(view, body + 14) != 16)
                throw fail("unexpected sample format");
            sawFormat = true;
        } else if (id == "data") {
            if (!sawFormat) throw fail("data before format");
            std::vector<int16_t> samples(available / 2);
            for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<int16_t>(uint16At(view, body + 2 * i));
            return samples;
        }
        offset = body + available + (available & 1);  // chunks are padded to even sizes
    }
    throw fail("no data chunk");
}

}  // namespace quillmer
