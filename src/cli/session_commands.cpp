#include "cli/session_commands.h"

#include <chrono>
#include <iostream>

#include "capture/local_session_manifest.h"
#include "capture/session_folder.h"
#include "core/atomic_file.h"
#include "core/error.h"
#include "platform/linux/posix_process_runner.h"

namespace quillmer::cli {

std::filesystem::path resolveSessionArgument(const std::string& argument) {
    if (const auto id = Uuid::parse(argument)) {
        const auto folder = sessionFolder(sessionsRoot(), *id);
        if (!std::filesystem::is_directory(folder)) throw Error("No session " + id->toString() + " in " + sessionsRoot().string());
        return folder;
    }
    const std::filesystem::path folder(argument);
    if (std::filesystem::is_directory(folder)) return folder;
    throw Error("\"" + argument + "\" is neither a session id nor a session folder");
}

namespace {

int runShow(std::span<const std::string> arguments) {
    if (arguments.size() != 1) return reportError("show takes one SESSION (see quillmer show --help)", kExitUsage);
    const auto folder = resolveSessionArgument(arguments[0]);
    try {
        std::cout << encodeJSON(readManifest(folder).toJSON()) << "\n";
    } catch (const DecodingError& error) {
        throw Error("The session in " + folder.string() + " cannot be read: " + error.what());
    }
    return kExitSuccess;
}

}  // namespace

Command showCommand() {
    return {"show", "print a session's manifest (session.json)",
            "Usage: quillmer show SESSION\n\n"
            "Prints the manifest of SESSION, a session id or the path of a session folder.\n"
            "Exits 1 when the session is missing or its session.json cannot be read.\n",
            runShow};
}


}  // namespace quillmer::cli
