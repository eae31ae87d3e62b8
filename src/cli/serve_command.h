#pragma once

#include <filesystem>
#include <optional>
#include <span>
#include <string>

#include "cli/command.h"

namespace quillmer::cli {

struct ServeOptions {
    unsigned port = 0;  // 0: any free port
    std::optional<std::filesystem::path> rendererDirectory;
};

// "[--port N] [--renderer DIR]". Throws quillmer::Error with a message for the user.
ServeOptions parseServeOptions(std::span<const std::string> arguments);


Command serveCommand();

}  // namespace quillmer::cli
