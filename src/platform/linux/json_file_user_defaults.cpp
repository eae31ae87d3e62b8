#include "platform/linux/json_file_user_defaults.h"

#include "core/atomic_file.h"

namespace quillmer {

JsonFileUserDefaults::JsonFileUserDefaults(std::filesystem::path file) : file_(std::move(file)) {}

Json JsonFileUserDefaults::load() const {
    try {
        Json object = parseJSON(readWholeFile(file_));
        if (object.is_object()) return object;
    } catch (const Error&) {
        // Missing or damaged: behave as a fresh store rather than failing the caller.
    }
    return Json::object();
}

void JsonFileUserDefaults::store(const Json& object) {
    std::error_code ignored;
    std::filesystem::create_directories(file_.parent_path(), ignored);
    writeFileAtomically(file_, encodeJSON(object));
}

std::optional<Json> JsonFileUserDefaults::value(const std::string& key) const {
    std::lock_guard lock(mutex_);
    const Json object = load();
    const auto it = object.find(key);
    if (it == object.end()) return std::nullopt;
    return *it;
}

void JsonFileUserDefaults::setValue(const std::string& key, const Json& value) {
    std::lock_guard lock(mutex_);
    Json object = load();
    object[key] = value;
    store(object);
}

void JsonFileUserDefaults::removeValue(const std::string& key) {
    std::lock_guard lock(mutex_);
    Json object = load();
    if (object.erase(key) == 0) return;
    store(object);
}

}  // namespace quillmer
