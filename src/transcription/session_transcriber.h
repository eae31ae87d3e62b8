#pragma once

#include <filesystem>
#include <functional>
#include <stop_token>
#include <string>
#include <vector>

#include "platform/audio_track_reader.h"
#include "platform/speech_recognizer.h"
#include "transcription/local_transcript.h"
#include "transcription/transcription_route.h"

namespace quillmer {

// Turns a recorded session's audio tracks into its "transcript.json": remotely when the user
// approved a route that can run (falling back to this computer when it fails), otherwise on this
// computer only, 55-second chunk by chunk.
class SessionTranscriber {
public:
    using RecognizedPiece = quillmer::RecognizedPiece;
    using ProgressCallback = std::function<void(const TranscriptionProgress&)>;

    static constexpr double kChunkSeconds = 55.0;
    static constexpr const char* kProvider = "pocketsphinx";

    SessionTranscriber(TranscriptionRouteDecider& consent, AudioTrackReaderFactory& audio,
                       SpeechRecognizerProvider& speech)
        : consent_(consent), audio_(audio), speech_(speech) {}

    // Returns the stored transcript. Throws TranscriptionError, the reader's or recognizer's Error,
    // FileSystemError or DecodingError; CancellationError when `stop` is requested. Nothing is
    // stored on failure, and no working directory outlives the call.
    LocalTranscript transcribe(const std::filesystem::path& sessionFolder, const std::string& localeIdentifier,
                               const ProgressCallback& progress, std::stop_token stop = {}) const;

    // 0, 55, 110, … strictly below the duration; none for a duration that is not finite and positive.
    static std::vector<double> chunkStarts(double durationSeconds);

private:
    TranscriptionRouteDecider& consent_;
    AudioTrackReaderFactory& audio_;
    SpeechRecognizerProvider& speech_;
};

}  // namespace quillmer
