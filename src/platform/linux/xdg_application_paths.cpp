#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

#include "core/error.h"
#include "core/folders.h"
#include "platform/application_paths.h"

namespace quillmer {

namespace {

std::filesystem::path homeDirectory() {
    if (const char* home = std::getenv("HOME"); home && *home == '/') return home;
    if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_dir && *entry->pw_dir == '/')
        return entry->pw_dir;
    throw FileSystemError("Quillmer could not find your home folder.");
}

// The XDG base-directory rule: an unset, empty or relative variable means the default.
std::filesystem::path xdgDirectory(const char* variable, const char* fallbackUnderHome) {
    if (const char* value = std::getenv(variable); value && *value == '/') return value;
    return homeDirectory() / fallbackUnderHome;
}

std::filesystem::path createdDirectory(const std::filesystem::path& folder) {
    createFolders(folder);
    return folder;
}

}  // namespace

std::filesystem::path applicationDataDirectory() { return xdgDirectory("XDG_DATA_HOME", ".local/share") / "Quillmer"; }

std::filesystem::path sessionsDirectory() { return createdDirectory(applicationDataDirectory() / "Sessions"); }

std::filesystem::path exportsDirectoryPath() { return applicationDataDirectory() / "Exports"; }

std::filesystem::path exportsDirectory() { return createdDirectory(exportsDirectoryPath()); }

std::filesystem::path userDefaultsFile() {
    return xdgDirectory("XDG_CONFIG_HOME", ".config") / "quillmer" / "defaults.json";
}

std::filesystem::path rendererDirectory() {
    if (const char* value = std::getenv("QUILLMER_RENDERER_DIRECTORY"); value && *value) return value;
    std::error_code error;
    const auto executable = std::filesystem::read_symlink("/proc/self/exe", error);
    const auto relative = std::filesystem::path("share") / "quillmer" / "renderer";
    const auto installed = executable.parent_path().parent_path() / relative;
    if (error || std::filesystem::exists(installed / "index.html", error)) return installed;
    // Programs in a build tree sit in sub-folders of it; its root is where CMakeCache.txt is.
    for (auto folder = executable.parent_path(); folder.has_relative_path(); folder = folder.parent_path()) {
        if (std::filesystem::exists(folder / "CMakeCache.txt", error)) return folder / relative;
    }
    return installed;
}

}  // namespace quillmer
