#include "analysis/local_model_settings.h"

#include <charconv>

#include "core/error.h"

namespace quillmer {

namespace {

int64_t checkedConcurrency(int64_t value) {
    if (value < 1 || value > kMaxLocalModelConcurrency)
        throw Error("The local model's concurrency is how many moments it judges at once: a whole number from 1 to " +
                    std::to_string(kMaxLocalModelConcurrency) + ".");
    return value;
}

int64_t concurrencyOf(std::string_view text) {
    int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return checkedConcurrency(error == std::errc() && end == text.data() + text.size() ? value : 0);
}

}  // namespace

Json localModelSettingValue(std::string_view key, std::string_view text) {
    if (key == kLocalModelURLSetting) {
        parseLocalModelURL(text);
        return std::string(text);
    }
    if (key == kLocalModelNameSetting) {
        validateLocalModelName(text);
        return std::string(text);
    }
    if (key == kLocalModelConcurrencySetting) return concurrencyOf(text);
    throw Error("There is no setting named \"" + std::string(key) + "\".");
}

LocalModelConfiguration readLocalModelSettings(const UserDefaults& defaults) {
    const auto url = defaults.stringValue(kLocalModelURLSetting);
    const auto model = defaults.stringValue(kLocalModelNameSetting);
    if (!url || !model) return std::monostate{};
    try {
        LocalModelSettings settings{parseLocalModelURL(*url), *model, 1};
        validateLocalModelName(*model);
        if (const auto concurrency = defaults.integerValue(kLocalModelConcurrencySetting))
            settings.concurrency = static_cast<size_t>(checkedConcurrency(*concurrency));
        return settings;
    } catch (const Error& refused) {
        return std::string(refused.what());
    }
}

}  // namespace quillmer
