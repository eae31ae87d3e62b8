// `quillmer settings`: only a model on this computer can be named, and a refused value changes nothing.
#include <gtest/gtest.h>

#include "cli/settings_commands.h"
#include "platform/linux/json_file_user_defaults.h"
#include "support/temporary_folder.h"

namespace quillmer::testing {
namespace {

TEST(SettingsCommand, AcceptsOnlyLocalModelsAndKeepsRefusedValuesOut) {
    TemporaryFolder folder;
    JsonFileUserDefaults defaults(folder.path() / "defaults.json");
    struct Case {
        std::vector<std::string> arguments;
        int status;
        std::optional<Json> stored;  // the key's value afterwards (arguments[1])
    };
    const std::string url = "analysis.localModel.url", model = "analysis.localModel.model",
                      concurrency = "analysis.localModel.concurrency";
    const std::vector<Case> cases = {
        {{"set", url, "http://127.0.0.1:11434/v1"}, 0, "http://127.0.0.1:11434/v1"},
        {{"set", url, "http://192.168.1.5:11434/v1"}, 1, "http://127.0.0.1:11434/v1"},
        {{"set", url, "http://localhost.example.com/v1"}, 1, "http://127.0.0.1:11434/v1"},
        {{"set", url, "unix:/run/ollama.sock"}, 0, "unix:/run/ollama.sock"},
        {{"set", model, "qwen2.5vl:7b"}, 0, "qwen2.5vl:7b"},
        {{"set", model, ""}, 1, "qwen2.5vl:7b"},
        {{"set", concurrency, "2"}, 0, 2},
        {{"set", concurrency, "0"}, 1, 2},
        {{"set", concurrency, "5"}, 1, 2},
        {{"set", concurrency, "two"}, 1, 2},
        {{"unset", concurrency}, 0, std::nullopt},
        {{"get", url}, 0, "unix:/run/ollama.sock"},
        {{"set", "analysis.remote.url", "x"}, 2, std::nullopt},
        {{"set", url}, 2, "unix:/run/ollama.sock"},
        {{"reset", url}, 2, "unix:/run/ollama.sock"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments[0] + " " + c.arguments[1]);
        ::testing::internal::CaptureStdout();
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(cli::runSettings(defaults, c.arguments), c.status);
        ::testing::internal::GetCapturedStdout();
        ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(defaults.value(c.arguments[1]), c.stored);
    }
}

}  // namespace
}  // namespace quillmer::testing
