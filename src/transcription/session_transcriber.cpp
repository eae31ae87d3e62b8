#include "transcription/session_transcriber.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>
#include <optional>

#include "capture/session_folder.h"
#include "core/atomic_file.h"
#include "core/iso8601.h"
#include "core/safe_path.h"
#include "core/uuid.h"
#include "transcription/transcript_replacement.h"
#include "transcription/transcription_error.h"
#include "transcription/utterances.h"

namespace quillmer {

namespace fs = std::filesystem;

namespace {

// A track's chunk files live here while the track is transcribed; removed on every exit.
class WorkingDirectory {
public:
    WorkingDirectory() : path_(fs::temp_directory_path() / ("quillmer-transcription-" + Uuid::random().toString())) {
        std::error_code error;
        fs::create_directories(path_, error);
        if (error) throw FileSystemError("Quillmer could not create " + path_.string() + ": " + error.message(), error);
    }
    ~WorkingDirectory() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    WorkingDirectory(const WorkingDirectory&) = delete;
    WorkingDirectory& operator=(const WorkingDirectory&) = delete;
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

// A track named by session.json, which is read from disk: only a bare name inside the folder.
fs::path trackFile(const fs::path& sessionFolder, const std::string& name) {
    if (auto file = resolveInside(sessionFolder, name)) return *file;
    throw DecodingError("session.json names the audio track \"" + name + "\", which is not a file in the session folder.");
}

void throwIfStopped(const std::stop_token& stop) {
    if (stop.stop_requested()) throw CancellationError();
}

std::string chunkFileName(double start) {
    return std::to_string(static_cast<long long>(start)) + ".wav";
}

void sortByStart(std::vector<LocalTranscriptSegment>& segments) {
    std::stable_sort(segments.begin(), segments.end(),
                     [](const auto& a, const auto& b) { return a.startSeconds < b.startSeconds; });
}

LocalTranscript buildTranscript(const std::vector<TranscriptionTrack>& tracks, std::string localeIdentifier,
                                std::vector<LocalTranscriptSegment> segments, std::string provider) {
    LocalTranscript transcript;
    transcript.schemaVersion = 2;
    transcript.createdAt = std::chrono::system_clock::now();
    transcript.audioFile = joinedAudioFiles(tracks);
    transcript.sourcePTSOffsetSeconds = 0;
    transcript.localeIdentifier = std::move(localeIdentifier);
    transcript.segments = std::move(segments);
    transcript.provider = std::move(provider);
    return transcript;
}

// The recorded failure of the remote attempt; replaced by each new one, never fatal.
void writeDiagnostics(const fs::path& sessionFolder, const std::string& description) {
    try {
        writeFileAtomically(sessionFolder / kTranscriptionDiagnosticsFileName,
                            formatISO8601(std::chrono::system_clock::now()) + "\n" + description + "\n");
    } catch (const Error&) {
    }
}

std::optional<LocalTranscript> transcribeRemotely(RemoteTranscriptionPlan& plan, const fs::path& sessionFolder,
                                                  const LocalSessionManifest& manifest,
                                                  const SessionTranscriber::ProgressCallback& progress,
                                                  const std::stop_token& stop) {
    const auto tracks = transcriptionTracks(manifest);
    const int trackCount = static_cast<int>(tracks.size());
    progress({0, trackCount});
    try {
        std::vector<LocalTranscriptSegment> segments;
        for (int i = 0; i < trackCount; ++i) {
            auto trackSegments = plan.transcribeTrack(trackFile(sessionFolder, tracks[i].audioFile), manifest.id.toString(),
                                                      tracks[i], stop);
            segments.insert(segments.end(), std::make_move_iterator(trackSegments.begin()),
                            std::make_move_iterator(trackSegments.end()));
            progress({i + 1, trackCount});
        }
        if (segments.empty())
            throw TranscriptionError::enhancedProviderFailed("The diarized transcription service returned no speech segments.");
        sortByStart(segments);
        return buildTranscript(tracks, "und", std::move(segments), plan.provider());
    } catch (const CancellationError&) {
        throw;
    } catch (const std::exception& error) {
        writeDiagnostics(sessionFolder, error.what());
        return std::nullopt;
    }
}

// The session's transcript as it stands, when it can be read.
std::optional<LocalTranscript> currentTranscript(const fs::path& sessionFolder) {
    try {
        return readTranscript(sessionFolder / kTranscriptFileName);
    } catch (const Error&) {
        return std::nullopt;
    }
}

// An imported transcript has no provider; one that cannot be read counts as imported while the
// kept copy of a caption file is there, so a damaged import is never replaced silently either.
bool isImported(const fs::path& sessionFolder, const std::optional<LocalTranscript>& current) {
    if (current) return !current->provider;
    std::error_code ignored;
    return fs::exists(sessionFolder / (std::string(kSourceTranscriptBaseName) + "vtt"), ignored) ||
           fs::exists(sessionFolder / (std::string(kSourceTranscriptBaseName) + "srt"), ignored);
}

std::unique_ptr<SpeechRecognizer> onDeviceRecognizer(SpeechRecognizerProvider& speech, const std::string& locale) {
    switch (speech.modelStatus(locale)) {
        case SpeechModelStatus::invalidLocale: throw TranscriptionError::unavailable();
        case SpeechModelStatus::unreadable: throw TranscriptionError::permissionDenied();
        case SpeechModelStatus::notInstalled: throw TranscriptionError::onDeviceModelUnavailable(locale);
        case SpeechModelStatus::installed: break;
    }
    auto recognizer = speech.makeRecognizer(locale);
    if (!recognizer) throw TranscriptionError::unavailable();
    return recognizer;
}

struct PlannedTrack {
    TranscriptionTrack track;
    std::unique_ptr<AudioTrackReader> reader;
    double durationSeconds = 0;
    int chunkCount = 0;
};

// The pieces of one track, timestamps from the start of the track.
std::vector<SessionTranscriber::RecognizedPiece> transcribeTrack(PlannedTrack& planned, SpeechRecognizer& recognizer,
                                                                 int completedBefore, int totalChunks,
                                                                 const SessionTranscriber::ProgressCallback& progress,
                                                                 const std::stop_token& stop) {
    std::vector<SessionTranscriber::RecognizedPiece> pieces;
    const double duration = planned.durationSeconds;
    if (!std::isfinite(duration) || duration <= 0) return pieces;
    const WorkingDirectory workingDirectory;
    const auto starts = SessionTranscriber::chunkStarts(duration);
    progress({completedBefore, totalChunks});
    int done = 0;
    for (const double start : starts) {
        throwIfStopped(stop);
        const auto chunkFile = workingDirectory.path() / chunkFileName(start);
        try {
            planned.reader->exportChunk(start, std::min(duration - start, SessionTranscriber::kChunkSeconds), chunkFile);
        } catch (const CancellationError&) {
            throw;
        } catch (const Error&) {
            throw TranscriptionError::chunkExportFailed();
        }
        throwIfStopped(stop);
        for (auto& piece : recognizer.recognize(chunkFile, stop)) {
            piece.timestamp += start;
            pieces.push_back(std::move(piece));
        }
        progress({completedBefore + ++done, totalChunks});
    }
    return pieces;
}

}  // namespace

std::vector<double> SessionTranscriber::chunkStarts(double durationSeconds) {
    std::vector<double> starts;
    if (!std::isfinite(durationSeconds) || durationSeconds <= 0) return starts;
    for (int i = 0; i * kChunkSeconds < durationSeconds; ++i) starts.push_back(i * kChunkSeconds);
    return starts;
}

LocalTranscript SessionTranscriber::transcribe(const fs::path& sessionFolder, const std::string& localeIdentifier,
                                               const ProgressCallback& progress, std::stop_token stop) const {
    const auto report = [&](const TranscriptionProgress& value) {
        if (progress) progress(value);
    };
    const LocalSessionManifest manifest = readManifest(sessionFolder);
    if (!manifest.systemAudioFile) throw TranscriptionError::missingSystemAudio();
    const auto current = currentTranscript(sessionFolder);
    if (!options_.replaceImported && isImported(sessionFolder, current))
        throw TranscriptionError::importedTranscriptKept();
    const auto store = [&](LocalTranscript transcript) {
        if (transcript.segments.empty() && current && !current->segments.empty())
            throw TranscriptionError::noSpeechFound();
        replaceTranscript(sessionFolder, manifest, transcript, options_.exportsRoot);
        return transcript;
    };

    if (auto plan = consent_.remotePlan()) {
        if (auto transcript = transcribeRemotely(*plan, sessionFolder, manifest, report, stop))
            return store(std::move(*transcript));
    }

    const auto recognizer = onDeviceRecognizer(speech_, localeIdentifier);
    const auto tracks = transcriptionTracks(manifest);
    std::vector<PlannedTrack> planned;
    int totalChunks = 0;
    for (const auto& track : tracks) {
        auto reader = audio_.open(trackFile(sessionFolder, track.audioFile));
        const double duration = reader->durationSeconds();
        const int chunkCount = static_cast<int>(chunkStarts(duration).size());
        totalChunks += chunkCount;
        planned.push_back({track, std::move(reader), duration, chunkCount});
    }

    std::vector<LocalTranscriptSegment> segments;
    int completedBefore = 0;
    for (auto& entry : planned) {
        // Words become utterance segments, so that a request and what it points at share a segment.
        const auto words = transcribeTrack(entry, *recognizer, completedBefore, totalChunks, report, stop);
        for (auto& piece : groupIntoUtterances(words)) {
            LocalTranscriptSegment segment;
            segment.id = Uuid::random();
            segment.startSeconds = entry.track.sourceOffsetSeconds + piece.timestamp;
            segment.durationSeconds = piece.duration;
            segment.text = std::move(piece.text);
            segment.confidence = piece.confidence;
            segment.speaker = entry.track.defaultSpeaker;
            segment.sourceTrack = entry.track.sourceTrack;
            segments.push_back(std::move(segment));
        }
        completedBefore += entry.chunkCount;
    }
    sortByStart(segments);
    return store(buildTranscript(tracks, localeIdentifier, std::move(segments), kProvider));
}

}  // namespace quillmer
