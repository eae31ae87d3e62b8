#include "cli/settings_commands.h"

#include <algorithm>
#include <array>
#include <iostream>

#include "analysis/local_model_settings.h"
#include "core/error.h"
#include "platform/application_paths.h"
#include "platform/linux/json_file_user_defaults.h"

namespace quillmer::cli {

namespace {

constexpr std::array kSettingNames = {kLocalModelURLSetting, kLocalModelNameSetting, kLocalModelConcurrencySetting};

bool isKnown(const std::string& key) {
    return std::ranges::any_of(kSettingNames, [&](const char* name) { return key == name; });
}

void printSetting(const UserDefaults& defaults, const std::string& key) {
    const auto value = defaults.value(key);
    std::cout << key << " = "
              << (!value ? "(not set)" : value->is_string() ? value->get<std::string>() : encodeCompactJSON(*value))
              << "\n";
}

int runSettingsCommand(std::span<const std::string> arguments) {
    JsonFileUserDefaults defaults(userDefaultsFile());
    return runSettings(defaults, arguments);
}

}  // namespace

int runSettings(UserDefaults& defaults, std::span<const std::string> arguments) {
    if (arguments.empty()) {
        for (const char* name : kSettingNames) printSetting(defaults, name);
        return kExitSuccess;
    }
    const std::string& action = arguments[0];
    const size_t expected = action == "set" ? 3 : action == "unset" || action == "get" ? 2 : 0;
    if (expected == 0 || arguments.size() != expected)
        return reportError("settings needs: set KEY VALUE, unset KEY, get KEY, or nothing (see quillmer settings --help)",
                           kExitUsage);
    const std::string& key = arguments[1];
    if (!isKnown(key))
        return reportError("there is no setting named \"" + key + "\" (see quillmer settings --help)", kExitUsage);
    if (action == "set") {
        try {
            defaults.setValue(key, localModelSettingValue(key, arguments[2]));
        } catch (const Error& refused) {
            return reportError(std::string(refused.what()) + " Nothing was changed.");
        }
        // Accepted, but a bare host and port is a common slip: the chat API usually lives under /v1.
        if (key == kLocalModelURLSetting) {
            const LocalModelEndpoint endpoint = parseLocalModelURL(arguments[2]);
            if (!endpoint.unixSocketPath && endpoint.baseURL.ends_with("//" + endpoint.displayHost))
                std::cerr << "Note: requests will go to " << endpoint.baseURL
                          << "/chat/completions; most model servers (Ollama, llama.cpp) answer under "
                          << endpoint.baseURL << "/v1.\n";
        }
    } else if (action == "unset") {
        defaults.removeValue(key);
    }
    printSetting(defaults, key);
    return kExitSuccess;
}

Command settingsCommand() {
    return {"settings", "set, unset or show the local model that analyses meetings on this computer",
            "Usage: quillmer settings [get KEY | set KEY VALUE | unset KEY]\n\n"
            "Without arguments, shows every setting. The settings name a model server on this\n"
            "computer that speaks the OpenAI chat-completions API (Ollama, llama.cpp's server, LM\n"
            "Studio, vLLM, …). With both URL and model set, analysis runs there and nothing leaves\n"
            "this computer; without them, and without a relay, the transcript rules find the\n"
            "requests on this computer and a person chooses which go into the brief.\n\n"
            "  analysis.localModel.url          the API base on this computer, e.g.\n"
            "                                   http://127.0.0.1:11434/v1, or a Unix socket\n"
            "                                   (unix:/path/to/socket). Any other host is refused:\n"
            "                                   a model on another computer is a remote recipient.\n"
            "  analysis.localModel.model        the model's name on that server, e.g. qwen2.5vl:7b\n"
            "  analysis.localModel.concurrency  moments judged at once, 1 (default) to 4\n\n"
            "Kept in $XDG_CONFIG_HOME/quillmer/defaults.json. A value that is refused changes nothing\n"
            "(exit 1).\n",
            runSettingsCommand};
}

}  // namespace quillmer::cli
