#include "cli/library_commands.h"

#include <unistd.h>

#include <climits>
#include <cmath>
#include <iostream>

#include "capture/local_session_library.h"
#include "capture/session_importer.h"
#include "cli/session_commands.h"
#include "cli/engine_session.h"
#include "core/json.h"
#include "platform/linux/ffmpeg_recording_asset.h"
#include "platform/linux/gio_trash.h"

namespace quillmer::cli {

namespace {

constexpr int kRecentLimit = 5;

int runSessions(std::span<const std::string> arguments) {
    bool json = false;
    bool all = false;
    for (const auto& argument : arguments) {
        if (argument == "--json") json = true;
        else if (argument == "--all") all = true;
        else return reportError("unknown option \"" + argument + "\" (see quillmer sessions --help)", kExitUsage);
    }
    GioTrash trash;
    const LocalSessionLibrary library(trash);
    const auto summaries = library.recentSessions(all ? INT_MAX : kRecentLimit);
    if (json) {
        Json rows = Json::array();
        for (const auto& summary : summaries) rows.push_back(summary.toJSON());
        std::cout << encodeJSON(rows) << "\n";
        return kExitSuccess;
    }
    for (const auto& summary : summaries)
        std::cout << summary.title << "\t" << summary.detail << "\t" << summary.id << "\n";
    return kExitSuccess;
}

int runImportRecording(std::span<const std::string> arguments) {
    if (arguments.size() != 1)
        return reportError("import-recording takes one FILE (see quillmer import-recording --help)", kExitUsage);
    const bool terminal = ::isatty(STDERR_FILENO);
    int shown = -1;
    const auto progress = [&](double fraction) {
        const int percent = static_cast<int>(std::floor(fraction * 100));
        // A terminal line is redrawn at every percent; a log gets a line every ten.
        if (percent <= shown || (!terminal && percent < 100 && shown >= 0 && percent < shown / 10 * 10 + 10)) return;
        shown = percent;
        std::cerr << (terminal ? "\r" : "") << "Importing " << percent << "%" << (terminal ? "" : "\n") << std::flush;
    };
    FfmpegRecordingAssetLoader loader;
    const SessionImporter importer(loader);
    std::optional<ImportedSession> imported;
    try {
        // Ctrl-C cancels the fingerprint and the export, which removes the half-made session folder.
        runStoppable([&](std::stop_token stop) { imported = importer.importRecording(arguments[0], stop, progress); });
    } catch (const CancellationError&) {
        if (terminal && shown >= 0) std::cerr << "\n";
        return reportError("The import was cancelled; nothing was kept.");
    } catch (...) {
        if (terminal && shown >= 0) std::cerr << "\n";
        throw;
    }
    if (terminal && shown >= 0) std::cerr << "\n";
    std::cout << imported->manifest.id.toString() << "\n";
    return kExitSuccess;
}

int runDelete(std::span<const std::string> arguments) {
    if (arguments.size() != 1) return reportError("delete takes one SESSION (see quillmer delete --help)", kExitUsage);
    // The folder show and process read, so delete never acts on a look-alike in another case.
    const auto name = resolveSessionArgument(arguments[0]).filename().string();
    GioTrash trash;
    const LocalSessionLibrary library(trash);
    try {
        library.deleteSession(name);
    } catch (const FileSystemError& error) {
        throw Error(std::string("This meeting could not be deleted: ") + error.what());
    }
    std::cout << "Moved " << name << " to the Trash\n";
    return kExitSuccess;
}

}  // namespace

Command sessionsCommand() {
    return {"sessions", "list recent meetings with their progress",
            "Usage: quillmer sessions [--json] [--all]\n\n"
            "Lists the five most recent meetings of the library, newest first: title (when it\n"
            "was made), progress, and session id, separated by tabs. Folders holding the same\n"
            "meeting (the same recording imported twice) are listed once, by the one with the\n"
            "most progress.\n\n"
            "  --json   print the rows as a JSON array (id, title, detail, createdAt)\n"
            "  --all    list every meeting, not only the five most recent\n",
            runSessions};
}

Command importRecordingCommand() {
    return {"import-recording", "turn an MP4, MOV or M4V recording into a new session",
            "Usage: quillmer import-recording FILE\n\n"
            "Copies the recording FILE (MP4, MOV or M4V) into a new session folder: its video\n"
            "as screen.mp4 (kept as it is when H.264 or HEVC, otherwise encoded as H.264) and\n"
            "its sound as system-audio.m4a. Progress goes to stderr; the new session id is\n"
            "printed on stdout. Ctrl-C cancels and leaves nothing behind.\n",
            runImportRecording};
}

Command deleteCommand() {
    return {"delete", "move a meeting (session and export folders) to the Trash",
            "Usage: quillmer delete SESSION\n\n"
            "Moves the session folder of SESSION and its export folder to the Trash\n"
            "(recoverable until the Trash is emptied). SESSION is a session id (a UUID, either\n"
            "case), \"latest\" for the newest meeting of the recent list, or a session folder.\n",
            runDelete};
}

}  // namespace quillmer::cli
