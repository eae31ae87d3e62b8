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

int runDemo(std::span<const std::string> arguments) {
    if (!arguments.empty()) return reportError("demo takes no arguments (see quillmer demo --help)", kExitUsage);
    PosixProcessRunner runner;
    LocalSessionManifest manifest;
    manifest.id = Uuid::random();
    manifest.createdAt = std::chrono::system_clock::now();
    manifest.width = 1920;
    manifest.height = 1080;
    manifest.videoFile = kScreenVideoFileName;
    manifest.repository = RepositorySnapshot::current(runner);
    const auto folder = createSessionFolder(sessionsRoot(), manifest.id);
    writeManifest(folder, manifest);
    std::cerr << "Wrote " << (folder / kSessionManifestFileName).string() << "\n";
    std::cout << readWholeFile(folder / kSessionManifestFileName) << "\n";
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

Command demoCommand() {
    return {"demo", "create a demo session in the Sessions root and print its manifest",
            "Usage: quillmer demo\n\n"
            "Creates a new session folder (manifest only, no media yet) under\n"
            "$XDG_DATA_HOME/Quillmer/Sessions, recording the git repository of the working\n"
            "directory (or $QUILLMER_REPOSITORY_PATH), and prints the session.json it wrote.\n",
            runDemo};
}

}  // namespace quillmer::cli
