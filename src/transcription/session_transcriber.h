#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "platform/audio_track_reader.h"
#include "platform/speech_recognizer.h"
#include "transcription/local_transcript.h"
#include "transcription/transcription_route.h"

namespace quillmer {

struct SessionTranscriberOptions {
    // A transcript the user imported is replaced only when asked for.
    bool replaceImported = false;
    // Holds the session's export folder (default: the user's Exports folder).
    std::optional<std::filesystem::path> exportsRoot;
};

// Turns a recorded session's audio tracks into its "transcript.json": remotely when the user
// approved a route that can run (falling back to this computer when it fails), otherwise on this
// computer only, 55-second chunk by chunk.
class SessionTranscriber {
public:
    using RecognizedPiece = quillmer::RecognizedPiece;
    using ProgressCallback = std::function<void(const TranscriptionProgress&)>;

    static constexpr double kChunkSeconds = 55.0;
    static constexpr const char* kProvider = "pocketsphinx";

    using Options = SessionTranscriberOptions;

    SessionTranscriber(TranscriptionRouteDecider& consent, AudioTrackReaderFactory& audio,
                       SpeechRecognizerProvider& speech, Options options = {})
        : consent_(consent), audio_(audio), speech_(speech), options_(std::move(options)) {}

    // Returns the stored transcript, which replaces the session's transcript and discards what was
    // made from it (replaceTranscript). Throws TranscriptionError (importedTranscriptKept before any
    // work unless the options allow it; noSpeechFound when the result is empty and the current
    // transcript is not), the reader's or recognizer's Error, FileSystemError or DecodingError;
    // CancellationError when `stop` is requested. Nothing is stored or discarded on failure, and no
    // working directory outlives the call.
    LocalTranscript transcribe(const std::filesystem::path& sessionFolder, const std::string& localeIdentifier,
                               const ProgressCallback& progress, std::stop_token stop = {}) const;

    // 0, 55, 110, … strictly below the duration; none for a duration that is not finite and positive.
    static std::vector<double> chunkStarts(double durationSeconds);

private:
    TranscriptionRouteDecider& consent_;
    AudioTrackReaderFactory& audio_;
    SpeechRecognizerProvider& speech_;
    Options options_;
};

}  // namespace quillmer
