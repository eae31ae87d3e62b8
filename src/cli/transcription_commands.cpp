#include "cli/transcription_commands.h"

#include <unistd.h>

#include <chrono>
#include <exception>
#include <iostream>
#include <optional>
#include <thread>

#include "capture/session_folder.h"
#include "cli/engine_session.h"
#include "cli/session_commands.h"
#include "core/error.h"
#include "platform/application_paths.h"
#include "platform/user_locale.h"
#include "platform/linux/curl_http_transport.h"
#include "platform/linux/json_file_user_defaults.h"
#include "platform/linux/ffmpeg_audio_track_reader.h"
#include "platform/linux/pocketsphinx_speech_recognizer.h"
#include "transcription/diarized_transcription_client.h"
#include "transcription/external_transcript_importer.h"
#include "transcription/session_transcriber.h"
#include "transcription/transcription_error.h"

namespace quillmer::cli {

namespace {

// "[########............]  4/12 chunks" on one line of a terminal, one line per step otherwise.
void drawProgress(const TranscriptionProgress& progress) {
    constexpr int kWidth = 30;
    const int filled = progress.totalChunks > 0 ? kWidth * progress.completedChunks / progress.totalChunks : 0;
    const bool terminal = ::isatty(STDERR_FILENO) != 0;
    std::cerr << (terminal ? "\r" : "") << "Transcribing [" << std::string(filled, '#')
              << std::string(kWidth - filled, '.') << "] " << progress.completedChunks << "/" << progress.totalChunks
              << " chunks" << (terminal ? "" : "\n") << std::flush;
}

int runTranscribe(std::span<const std::string> arguments) {
    constexpr const char* kUsage = "transcribe takes SESSION [--locale TAG] [--replace-imported] (see quillmer transcribe --help)";
    std::optional<std::string> session;
    std::string locale = userLanguageTag();
    SessionTranscriber::Options options;
    for (size_t i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == "--replace-imported") {
            options.replaceImported = true;
        } else if (arguments[i] == "--locale") {
            if (i + 1 == arguments.size()) return reportError("--locale needs a language tag such as en-US", kExitUsage);
            locale = arguments[++i];
        } else if (!session && !arguments[i].starts_with("-")) {
            session = arguments[i];
        } else {
            return reportError(kUsage, kExitUsage);
        }
    }
    if (!session) return reportError(kUsage, kExitUsage);
    const auto folder = resolveSessionArgument(*session);

    JsonFileUserDefaults defaults(userDefaultsFile());
    CurlHttpTransport http;
    RemoteTranscriptionRouteDecider route(RemoteTranscriptionSettings(defaults), RemoteTranscriptionEnvironment::ofProcess,
                                          http);
    FFmpegAudioTrackReaderFactory audio;
    PocketSphinxRecognizerProvider speech;
    const SessionTranscriber transcriber(route, audio, speech, options);

    // Ctrl-C or SIGTERM cancels cleanly (working files removed).
    std::optional<LocalTranscript> transcript;
    try {
        runStoppable([&](std::stop_token stop) { transcript = transcriber.transcribe(folder, locale, drawProgress, stop); });
    } catch (const CancellationError&) {
        if (::isatty(STDERR_FILENO)) std::cerr << "\n";
        return reportError("transcription cancelled; nothing was stored");
    } catch (const TranscriptionError& error) {
        if (::isatty(STDERR_FILENO)) std::cerr << "\n";
        // Where the audio went matters even when the run failed afterwards.
        if (route.lastDecision()) std::cerr << "Route: " << describeDecision(*route.lastDecision()) << "\n";
        if (error.kind() != TranscriptionErrorCase::importedTranscriptKept) throw;
        return reportError(std::string(error.what()) + " Run quillmer transcribe --replace-imported " + *session +
                           " to replace it.");
    }
    if (::isatty(STDERR_FILENO)) std::cerr << "\n";
    std::cout << "Transcribed " << transcript->segments.size() << " segments from " << transcript->audioFile << " ("
              << transcript->localeIdentifier << ", " << transcript->provider.value_or("") << ") into "
              << (folder / kTranscriptFileName).string() << "\n";
    if (route.lastDecision()) {
        const auto& decision = *route.lastDecision();
        const bool fellBack = decision.route && transcript->provider == SessionTranscriber::kProvider;
        std::cout << "Route: " << describeDecision(decision)
                  << (fellBack ? "; that attempt failed, so it was transcribed on this computer (see " +
                                     (folder / kTranscriptionDiagnosticsFileName).string() + ")"
                               : "")
                  << "\n";
    }
    return kExitSuccess;
}

int runImportTranscript(std::span<const std::string> arguments) {
    if (arguments.size() != 2)
        return reportError("import-transcript takes SESSION FILE (see quillmer import-transcript --help)", kExitUsage);
    const auto folder = resolveSessionArgument(arguments[0]);
    const auto transcript = ExternalTranscriptImporter().importTranscript(arguments[1], folder);
    const size_t cues = transcript.segments.size();
    std::cout << "Imported " << cues << (cues == 1 ? " cue" : " cues") << " from " << arguments[1] << " into "
              << (folder / kTranscriptFileName).string() << " (copy kept as " << transcript.audioFile << ")\n";
    return kExitSuccess;
}

}  // namespace


Command transcribeCommand() {
    return {"transcribe", "transcribe a session's audio, on this computer unless remote transcription is approved",
            "Usage: quillmer transcribe SESSION [--locale TAG] [--replace-imported]\n\n"
            "Transcribes the system audio and, when recorded, the microphone of SESSION (a session\n"
            "id, latest, or a session folder of the library) on this computer with the PocketSphinx\n"
            "model of the language TAG (default: the language of $LC_ALL, $LC_MESSAGES or $LANG, else en-US), and\n"
            "stores transcript.json. Nothing is sent anywhere unless you approved remote transcription\n"
            "(quillmer consent remote-transcription on): then the whole audio tracks are uploaded for\n"
            "speaker-labelled transcription, and any failure falls back to this computer. Progress is shown on stderr by 55-second\n"
            "chunk; Ctrl-C cancels and stores nothing. Exits 1 with the reason when it fails.\n\n"
            "A transcript you imported is kept unless --replace-imported is given, and a transcription\n"
            "that finds no speech never replaces a transcript that has some. A new transcript removes\n"
            "the evidence and the export made from the old one; quillmer process makes them again.\n",
            runTranscribe};
}

Command importTranscriptCommand() {
    return {"import-transcript", "give a session an existing VTT or SRT transcript",
            "Usage: quillmer import-transcript SESSION FILE\n\n"
            "Reads the WebVTT (.vtt) or SubRip (.srt) FILE, stores its cues as SESSION's transcript.json\n"
            "and keeps a copy of FILE as source-transcript.vtt or source-transcript.srt in the session\n"
            "folder. A session that already holds a copy of that kind is left unchanged and the import\n"
            "fails. The new transcript removes the evidence and the export made from the old one;\n"
            "quillmer process makes them again. Exits 1 with the reason when it fails.\n",
            runImportTranscript};
}

}  // namespace quillmer::cli
