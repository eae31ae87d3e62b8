// Any bytes as a stage's file on disk (transcript, candidates, evidence bundle, feedback,
// diagnostics): decoders fail cleanly or yield records that encode and decode back to themselves,
// and the library's progress readers never throw.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string_view>

#include "capture/session_progress_files.h"
#include "evidence/evidence_bundle_document.h"
#include "evidence/visual_evidence_candidate.h"
#include "transcription/local_transcript.h"

namespace {

template <typename Record>
void checkRoundTrip(const quillmer::Json& json) {
    using namespace quillmer;
    try {
        const std::string encoded = encodeJSON(Record::fromJSON(json).toJSON());
        if (encodeJSON(Record::fromJSON(parseJSON(encoded)).toJSON()) != encoded) std::abort();
    } catch (const DecodingError&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace quillmer;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    try {
        const Json json = parseJSON(text);
        checkRoundTrip<LocalTranscript>(json);
        checkRoundTrip<VisualEvidenceCandidateBundle>(json);
        checkRoundTrip<EvidenceBundleDocument>(json);
    } catch (const DecodingError&) {
    }

    static const auto file = std::filesystem::temp_directory_path() / ("quillmer-fuzz-stage-" + std::to_string(::getpid()));
    std::ofstream(file, std::ios::binary | std::ios::trunc).write(text.data(), static_cast<std::streamsize>(text.size()));
    (void)readTranscriptSegmentCount(file);
    (void)readCandidateCount(file);
    (void)readFeedbackItemCount(file);
    (void)readAnalysisDiagnosticCount(file);
    return 0;
}
