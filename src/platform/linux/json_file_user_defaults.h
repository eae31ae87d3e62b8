#pragma once

#include <filesystem>
#include <mutex>

#include "platform/user_defaults.h"

namespace quillmer {

// One JSON object in a file (by default $XDG_CONFIG_HOME/quillmer/defaults.json), re-read on
// every access so that several Quillmer processes see each other's changes, and replaced
// atomically on every write. An unreadable file reads as empty.
class JsonFileUserDefaults final : public UserDefaults {
public:
    explicit JsonFileUserDefaults(std::filesystem::path file);

    std::optional<Json> value(const std::string& key) const override;
    void setValue(const std::string& key, const Json& value) override;
    void removeValue(const std::string& key) override;

    const std::filesystem::path& file() const { return file_; }

private:
    Json load() const;
    void store(const Json& object);

    std::filesystem::path file_;
    mutable std::mutex mutex_;
};

}  // namespace quillmer
