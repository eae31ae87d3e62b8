#pragma once

#include <filesystem>

namespace quillmer {

// Where Quillmer keeps its data: $XDG_DATA_HOME/Quillmer (default ~/.local/share/Quillmer).
// Not created here.
std::filesystem::path applicationDataDirectory();

// "<data>/Sessions" and "<data>/Exports", created with intermediate folders on every call.
// Throw FileSystemError when the home folder is unknown or the folder cannot be made.
std::filesystem::path sessionsDirectory();
std::filesystem::path exportsDirectory();
// "<data>/Exports" without creating it, for callers that only remove from it.
std::filesystem::path exportsDirectoryPath();

// $XDG_CONFIG_HOME/quillmer/defaults.json (default ~/.config/quillmer/defaults.json).
std::filesystem::path userDefaultsFile();

// The review web application's files: $QUILLMER_RENDERER_DIRECTORY when set (tests, development);
// else "<exe dir>/../share/quillmer/renderer" of the installed layout; else, for a program run from
// its build tree, that tree's "share/quillmer/renderer". Not checked for an "index.html" here.
std::filesystem::path rendererDirectory();

}  // namespace quillmer
