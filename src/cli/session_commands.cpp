#include "cli/session_commands.h"

#include <chrono>
#include <iostream>

#include "capture/local_session_library.h"
#include "capture/local_session_manifest.h"
#include "capture/session_folder.h"
#include "core/atomic_file.h"
#include "core/error.h"
#include "platform/linux/gio_trash.h"

namespace quillmer::cli {

std::filesystem::path resolveSessionArgument(const std::string& argument) {
    GioTrash trash;  // resolving moves nothing to it
    const LocalSessionLibrary library(trash);
    const auto& root = library.sessionsRoot();
    std::filesystem::path folder;
    if (argument == "latest") {
        const auto recent = library.recentSessions(1);
        if (recent.empty()) throw Error("There is no meeting in " + root.string());
        folder = root / recent.front().id;
    } else if (const auto id = Uuid::parse(argument)) {
        folder = sessionFolder(root, *id);
    } else {
        std::error_code error;
        const auto given = std::filesystem::canonical(argument, error);
        if (error || given.parent_path() != std::filesystem::canonical(root, error) || error)
            throw Error("\"" + argument + "\" is neither a session id nor a session folder in " + root.string());
        folder = root / given.filename();
    }
    if (!std::filesystem::is_directory(folder))
        throw Error("No session " + folder.filename().string() + " in " + root.string());
    try {
        readManifest(folder);
    } catch (const Error& error) {
        throw Error("The session in " + folder.string() + " cannot be read: " + error.what());
    }
    if (!library.loadSession(folder))
        throw Error("The folder " + folder.string() +
                    " is not a meeting: its session.json names another session, or nothing was recorded in it.");
    return folder;
}

namespace {

int runShow(std::span<const std::string> arguments) {
    if (arguments.size() != 1) return reportError("show takes one SESSION (see quillmer show --help)", kExitUsage);
    std::cout << encodeJSON(readManifest(resolveSessionArgument(arguments[0])).toJSON()) << "\n";
    return kExitSuccess;
}

}  // namespace

Command showCommand() {
    return {"show", "print a session's manifest (session.json)",
            "Usage: quillmer show SESSION\n\n"
            "Prints the manifest of SESSION: a session id, latest, or a session folder of the library.\n"
            "Exits 1 when the session is missing or its session.json cannot be read.\n",
            runShow};
}


}  // namespace quillmer::cli
