// Any bytes as a caption file: parsing must end, and every cue it returns must be usable as a
// transcript segment (finite, positive length, trimmed non-empty text).
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/utf8.h"
#include "transcription/external_transcript_importer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace quillmer;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (const auto seconds = ExternalTranscriptImporter::parseTimestamp(text); seconds && !std::isfinite(*seconds))
        std::abort();
    try {
        for (const auto& cue : ExternalTranscriptImporter::parseCues(text)) {
            if (!std::isfinite(cue.start) || !std::isfinite(cue.end - cue.start) || !(cue.end > cue.start)) std::abort();
            if (cue.text.empty() || trimmingWhitespaceAndNewlines(cue.text) != cue.text) std::abort();
        }
    } catch (const ExternalTranscriptError& error) {
        if (error.kind() != ExternalTranscriptErrorCase::invalidTimestamp) std::abort();
    }
    return 0;
}
