#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "core/error.h"
#include "core/iso8601.h"
#include "core/uuid.h"

namespace quillmer {

using Json = nlohmann::json;

// The shared file encoder: pretty-printed with two-space indent and "key" : value pairs,
// object keys in sorted order, "/" written as "\/", numbers in shortest round-trip form.
// Throws EncodingError for a non-finite number.
std::string encodeJSON(const Json& value);
// The same escaping and numbers without any whitespace (bridge replies, HTTP bodies).
std::string encodeCompactJSON(const Json& value);

// Throws DecodingError for anything that is not one JSON value (or nests deeper than 256 levels).
Json parseJSON(std::string_view text);

// ---- Typed values ----------------------------------------------------------------------------

// Each returns false when the JSON value has another type or does not fit.
bool decodeJSONValue(const Json& json, std::string& out);
bool decodeJSONValue(const Json& json, bool& out);
bool decodeJSONValue(const Json& json, double& out);
bool decodeJSONValue(const Json& json, int64_t& out);
bool decodeJSONValue(const Json& json, int& out);
bool decodeJSONValue(const Json& json, uint32_t& out);
bool decodeJSONValue(const Json& json, Timestamp& out);  // ISO 8601 text
bool decodeJSONValue(const Json& json, Uuid& out);       // UUID text in either case

// Record types provide `static T fromJSON(const Json&)` (throwing DecodingError) and `Json toJSON() const`.
template <typename T>
concept JsonRecord = requires(const T& value, const Json& json) {
    { T::fromJSON(json) } -> std::same_as<T>;
    { value.toJSON() } -> std::same_as<Json>;
};

template <JsonRecord T>
bool decodeJSONValue(const Json& json, T& out) {
    out = T::fromJSON(json);
    return true;
}

template <typename T>
bool decodeJSONValue(const Json& json, std::vector<T>& out) {
    if (!json.is_array()) return false;
    out.clear();
    out.reserve(json.size());
    for (const auto& element : json) {
        T value{};
        if (!decodeJSONValue(element, value)) return false;
        out.push_back(std::move(value));
    }
    return true;
}

inline Json encodeJSONValue(const std::string& value) { return value; }
inline Json encodeJSONValue(bool value) { return value; }
inline Json encodeJSONValue(double value) { return value; }
inline Json encodeJSONValue(int64_t value) { return value; }
inline Json encodeJSONValue(int value) { return value; }
inline Json encodeJSONValue(uint32_t value) { return value; }
inline Json encodeJSONValue(Timestamp value) { return formatISO8601(value); }
inline Json encodeJSONValue(const Uuid& value) { return value.toString(); }
template <JsonRecord T>
Json encodeJSONValue(const T& value) {
    return value.toJSON();
}
template <typename T>
Json encodeJSONValue(const std::vector<T>& values) {
    Json array = Json::array();
    for (const auto& value : values) array.push_back(encodeJSONValue(value));
    return array;
}

// Sets `key`; an absent optional leaves the key out (never null).
template <typename T>
void putJSON(Json& object, const char* key, const T& value) {
    object[key] = encodeJSONValue(value);
}
template <typename T>
void putJSON(Json& object, const char* key, const std::optional<T>& value) {
    if (value) object[key] = encodeJSONValue(*value);
}

// Reads the keys of one JSON object. A missing required key, or a value of the wrong type,
// throws DecodingError naming the key; optional keys may be missing or null.
class JsonObjectReader {
public:
    JsonObjectReader(const Json& object, std::string_view typeName);

    template <typename T>
    T required(const char* key) const {
        const auto it = object_.find(key);
        if (it == object_.end() || it->is_null()) throwMissing(key);
        T value{};
        if (!decodeJSONValue(*it, value)) throwMismatch(key);
        return value;
    }

    template <typename T>
    std::optional<T> optional(const char* key) const {
        const auto it = object_.find(key);
        if (it == object_.end() || it->is_null()) return std::nullopt;
        T value{};
        if (!decodeJSONValue(*it, value)) throwMismatch(key);
        return value;
    }

    bool contains(const char* key) const { return object_.contains(key); }

private:
    [[noreturn]] void throwMissing(const char* key) const;
    [[noreturn]] void throwMismatch(const char* key) const;

    const Json& object_;
    std::string typeName_;
};

}  // namespace quillmer
