#pragma once

#include <functional>

namespace quillmer {

// How far a transcription run has come, in audio chunks. Not persisted.
struct TranscriptionProgress {
    int completedChunks = 0;
    int totalChunks = 0;
    bool operator==(const TranscriptionProgress&) const = default;
};

// Called from the transcription's worker thread.
using TranscriptionProgressHandler = std::function<void(const TranscriptionProgress&)>;

}  // namespace quillmer
