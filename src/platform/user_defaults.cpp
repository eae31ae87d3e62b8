#include "platform/user_defaults.h"

namespace quillmer {

template <typename T>
std::optional<T> UserDefaults::typed(const std::string& key) const {
    const auto stored = value(key);
    T result{};
    if (!stored || !decodeJSONValue(*stored, result)) return std::nullopt;
    return result;
}

std::optional<bool> UserDefaults::boolValue(const std::string& key) const { return typed<bool>(key); }
std::optional<std::string> UserDefaults::stringValue(const std::string& key) const { return typed<std::string>(key); }
std::optional<double> UserDefaults::doubleValue(const std::string& key) const { return typed<double>(key); }
std::optional<int64_t> UserDefaults::integerValue(const std::string& key) const { return typed<int64_t>(key); }
std::optional<Timestamp> UserDefaults::dateValue(const std::string& key) const { return typed<Timestamp>(key); }

void UserDefaults::setDate(const std::string& key, Timestamp date) { setValue(key, formatISO8601(date)); }

}  // namespace quillmer
