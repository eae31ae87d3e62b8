#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "analysis/local_model_endpoint.h"
#include "platform/user_defaults.h"

namespace quillmer {

// The settings that name a model server on this computer, as `quillmer settings` and the settings
// file spell them.
inline constexpr const char* kLocalModelURLSetting = "analysis.localModel.url";
inline constexpr const char* kLocalModelNameSetting = "analysis.localModel.model";
inline constexpr const char* kLocalModelConcurrencySetting = "analysis.localModel.concurrency";
inline constexpr int64_t kMaxLocalModelConcurrency = 4;

struct LocalModelSettings {
    LocalModelEndpoint endpoint;
    std::string model;
    size_t concurrency = 1;  // one request at a time suits a model sharing this computer
};

// Checks one setting's text and returns the value to store; throws Error with the user-facing reason
// (a remote address, an empty model name, a concurrency outside 1…4, an unknown key).
Json localModelSettingValue(std::string_view key, std::string_view text);

// No URL or no model: not configured. Values that are not acceptable (the file was edited by hand)
// give the reason instead, and the caller sends nothing to them.
using LocalModelConfiguration = std::variant<std::monostate, LocalModelSettings, std::string>;
LocalModelConfiguration readLocalModelSettings(const UserDefaults& defaults);

}  // namespace quillmer
