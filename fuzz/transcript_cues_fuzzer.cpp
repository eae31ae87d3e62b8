// Any bytes as a caption file, as one timestamp and as one timing line: parsing must end, every
// time it accepts must be finite and not negative, every timing it accepts must end after it
// starts, and every cue must be usable as a transcript segment (trimmed non-empty text without
// control characters other than tab).
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/utf8.h"
#include "transcription/external_transcript_importer.h"

namespace {

bool usableTime(double seconds) { return std::isfinite(seconds) && seconds >= 0; }

bool usableTiming(double start, double end) {
    return usableTime(start) && usableTime(end) && end > start && std::isfinite(end - start);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace quillmer;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (const auto seconds = ExternalTranscriptImporter::parseTimestamp(text); seconds && !usableTime(*seconds))
        std::abort();
    if (const auto timing = ExternalTranscriptImporter::parseTimingLine(text);
        timing && !usableTiming(timing->first, timing->second))
        std::abort();
    try {
        for (const auto& cue : ExternalTranscriptImporter::parseCues(text)) {
            if (!usableTiming(cue.start, cue.end)) std::abort();
            if (cue.text.empty() || trimmingWhitespaceAndNewlines(cue.text) != cue.text) std::abort();
            for (const unsigned char c : cue.text)
                if ((c < 0x20 && c != '\t') || c == 0x7F) std::abort();
        }
    } catch (const ExternalTranscriptError& error) {
        if (error.kind() != ExternalTranscriptErrorCase::invalidTimestamp) std::abort();
    }
    return 0;
}
