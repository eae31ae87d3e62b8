#include <iostream>
#include <string>
#include <vector>

#include "cli/command.h"
#include "core/version.h"

namespace {

void printOverview() {
    std::cout << "Usage: quillmer COMMAND [ARGUMENTS]\n\n"
                 "Turns a recorded product meeting into evidence-grounded change requests.\n\n"
                 "Commands:\n";
    for (const auto& command : quillmer::cli::commands())
        std::cout << "  " << command.name << std::string(18 - std::min<size_t>(command.name.size(), 17), ' ')
                  << command.summary << "\n";
    std::cout << "\nOptions:\n  -h, --help        show this help (or a command's: quillmer COMMAND --help)\n"
                 "  --version         print the version\n";
}

}  // namespace

int main(int argc, char** argv) {
    using namespace quillmer::cli;
    std::vector<std::string> arguments(argv + 1, argv + argc);
    if (arguments.empty()) {
        printOverview();
        return kExitUsage;
    }
    const std::string& first = arguments.front();
    if (first == "--help" || first == "-h" || first == "help") {
        printOverview();
        return kExitSuccess;
    }
    if (first == "--version") {
        std::cout << "quillmer " << quillmer::quillmerVersion() << "\n";
        return kExitSuccess;
    }
    for (const auto& command : commands()) {
        if (command.name != first) continue;
        const std::span<const std::string> rest(arguments.begin() + 1, arguments.end());
        if (wantsHelp(rest)) {
            std::cout << command.usage;
            return kExitSuccess;
        }
        try {
            return command.run(rest);
        } catch (const std::exception& error) {
            return reportError(error.what());
        }
    }
    return reportError("unknown command \"" + first + "\" (see quillmer --help)", kExitUsage);
}
