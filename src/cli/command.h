#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quillmer::cli {

// Exit codes of every command.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

struct Command {
    std::string_view name;
    std::string_view summary;
    std::string_view usage;  // full --help text
    int (*run)(std::span<const std::string> arguments);
};

// Every command the CLI knows, in the order --help lists them.
std::span<const Command> commands();

// True when the arguments ask for help ("--help" or "-h").
bool wantsHelp(std::span<const std::string> arguments);

// Prints "quillmer: <message>" to stderr and returns the code.
int reportError(std::string_view message, int exitCode = kExitFailure);

}  // namespace quillmer::cli
