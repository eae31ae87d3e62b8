#include "engine/processing_stages.h"

#include "capture/session_importer.h"
#include "engine/evidence_analysis_stage.h"
#include "core/error.h"
#include "evidence/evidence_bundle_exporter.h"
#include "evidence/visual_evidence_extractor.h"
#include "platform/linux/cairo_frame_image_renderer.h"
#include "platform/linux/ffmpeg_recording_asset.h"
#include "platform/linux/ffmpeg_audio_track_reader.h"
#include "platform/linux/ffmpeg_video_frame_reader.h"
#include "platform/application_paths.h"
#include "platform/linux/curl_http_transport.h"
#include "platform/linux/json_file_user_defaults.h"
#include "platform/linux/pocketsphinx_speech_recognizer.h"
#include "platform/user_locale.h"
#include "transcription/external_transcript_importer.h"
#include "transcription/diarized_transcription_client.h"
#include "transcription/session_transcriber.h"

namespace quillmer {

ProcessingStages unavailableProcessingStages() {
    ProcessingStages stages;
    stages.transcribe = [](const auto&, const auto&, std::stop_token) -> int { throw NotAvailableError(); };
    stages.extractEvidence = [](const auto&, std::stop_token) -> int { throw NotAvailableError(); };
    stages.exportEvidence = [](const auto&, std::stop_token) -> std::filesystem::path { throw NotAvailableError(); };
    stages.analyze = [](const auto&, const auto&, const auto&, std::stop_token) -> AnalysisOutcome {
        throw NotAvailableError();
    };
    stages.retryAnalysis = stages.analyze;
    stages.importRecording = [](const auto&, std::stop_token) -> std::filesystem::path { throw NotAvailableError(); };
    stages.importTranscript = [](const auto&, const auto&, std::stop_token) -> int { throw NotAvailableError(); };
    return stages;
}

ProcessingStages availableProcessingStages() {
    ProcessingStages stages = unavailableProcessingStages();
    stages.transcribe = [](const std::filesystem::path& sessionFolder, const TranscriptionProgressHandler& progress,
                           std::stop_token stop) {
        JsonFileUserDefaults defaults(userDefaultsFile());
        CurlHttpTransport http;
        RemoteTranscriptionRouteDecider route(RemoteTranscriptionSettings(defaults),
                                              RemoteTranscriptionEnvironment::ofProcess, http);
        FFmpegAudioTrackReaderFactory audio;
        PocketSphinxRecognizerProvider speech;
        const auto transcript =
            SessionTranscriber(route, audio, speech).transcribe(sessionFolder, userLanguageTag(), progress, stop);
        return static_cast<int>(transcript.segments.size());
    };
    stages.importTranscript = [](const std::filesystem::path& sessionFolder, const std::filesystem::path& file,
                                 std::stop_token) {
        return static_cast<int>(ExternalTranscriptImporter().importTranscript(file, sessionFolder).segments.size());
    };
    stages.importRecording = [](const std::filesystem::path& recording, std::stop_token stop) {
        FfmpegRecordingAssetLoader loader;
        return SessionImporter(loader).importRecording(recording, stop).directory;
    };
    stages.extractEvidence = [](const std::filesystem::path& sessionFolder, std::stop_token stop) {
        FFmpegVideoFrameReaderFactory videos;
        CairoFrameImageRenderer renderer;
        return static_cast<int>(VisualEvidenceExtractor(videos, renderer).extract(sessionFolder, stop).candidates.size());
    };
    stages.analyze = [](const AnalysisConnection& connection, const std::filesystem::path& exportFolder,
                        const RemoteAnalysisPasses&, std::stop_token stop) {
        return analyzeExportedEvidence(connection, exportFolder, EvidenceAnalysisScope::firstCandidates, stop);
    };
    stages.retryAnalysis = [](const AnalysisConnection& connection, const std::filesystem::path& exportFolder,
                              const RemoteAnalysisPasses&, std::stop_token stop) {
        return analyzeExportedEvidence(connection, exportFolder, EvidenceAnalysisScope::unfinishedCandidates, stop);
    };
    stages.exportEvidence = [](const std::filesystem::path& sessionFolder, std::stop_token stop) {
        return EvidenceBundleExporter().exportSession(sessionFolder, stop).directory;
    };
    return stages;
}

}  // namespace quillmer
