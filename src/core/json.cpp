#include "core/json.h"

#include <charconv>
#include <cmath>

#include "core/utf8.h"

namespace quillmer {

namespace {

constexpr int kMaximumDepth = 256;

void appendString(std::string& out, std::string_view s) {
    static constexpr char hex[] = "0123456789abcdef";
    out.push_back('"');
    for (size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        switch (c) {
            case '"': out += "\\\""; ++i; continue;
            case '\\': out += "\\\\"; ++i; continue;
            case '/': out += "\\/"; ++i; continue;
            case '\b': out += "\\b"; ++i; continue;
            case '\f': out += "\\f"; ++i; continue;
            case '\n': out += "\\n"; ++i; continue;
            case '\r': out += "\\r"; ++i; continue;
            case '\t': out += "\\t"; ++i; continue;
            default: break;
        }
        if (c < 0x20) {
            out += "\\u00";
            out.push_back(hex[c >> 4]);
            out.push_back(hex[c & 0x0F]);
            ++i;
            continue;
        }
        const size_t length = utf8SequenceLength(s, i);
        if (length == 0) {
            out += "\xEF\xBF\xBD";  // never emit invalid UTF-8: replace the stray byte
            ++i;
            continue;
        }
        out.append(s.substr(i, length));
        i += length;
    }
    out.push_back('"');
}

void appendNumber(std::string& out, double value) {
    if (!std::isfinite(value)) throw EncodingError("A number that is not finite cannot be written as JSON.");
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

void appendValue(std::string& out, const Json& value, bool pretty, int indent) {
    const auto newline = [&](int level) {
        if (!pretty) return;
        out.push_back('\n');
        out.append(static_cast<size_t>(level) * 2, ' ');
    };
    switch (value.type()) {
        case Json::value_t::object: {
            if (value.empty()) { out += "{}"; return; }
            out.push_back('{');
            bool first = true;
            for (const auto& [key, element] : value.items()) {  // std::map order: keys sorted
                if (!first) out.push_back(',');
                first = false;
                newline(indent + 1);
                appendString(out, key);
                out += pretty ? " : " : ":";
                appendValue(out, element, pretty, indent + 1);
            }
            newline(indent);
            out.push_back('}');
            return;
        }
        case Json::value_t::array: {
            if (value.empty()) { out += "[]"; return; }
            out.push_back('[');
            bool first = true;
            for (const auto& element : value) {
                if (!first) out.push_back(',');
                first = false;
                newline(indent + 1);
                appendValue(out, element, pretty, indent + 1);
            }
            newline(indent);
            out.push_back(']');
            return;
        }
        case Json::value_t::string: appendString(out, value.get_ref<const std::string&>()); return;
        case Json::value_t::boolean: out += value.get<bool>() ? "true" : "false"; return;
        case Json::value_t::number_integer: out += std::to_string(value.get<int64_t>()); return;
        case Json::value_t::number_unsigned: out += std::to_string(value.get<uint64_t>()); return;
        case Json::value_t::number_float: appendNumber(out, value.get<double>()); return;
        case Json::value_t::null:
        case Json::value_t::discarded: out += "null"; return;
        case Json::value_t::binary: throw EncodingError("Binary data cannot be written as JSON.");
    }
}

}  // namespace

std::string encodeJSON(const Json& value) {
    std::string out;
    appendValue(out, value, true, 0);
    return out;
}

std::string encodeCompactJSON(const Json& value) {
    std::string out;
    appendValue(out, value, false, 0);
    return out;
}

Json parseJSON(std::string_view text) {
    bool tooDeep = false;
    Json::parser_callback_t limitDepth = [&tooDeep](int depth, Json::parse_event_t, Json&) {
        if (depth > kMaximumDepth) tooDeep = true;
        return !tooDeep;
    };
    Json value = Json::parse(text.begin(), text.end(), limitDepth, /*allow_exceptions=*/false);
    if (tooDeep) throw DecodingError("The data nests too deeply to be read.");
    if (value.is_discarded()) throw DecodingError("The data is not valid JSON.");
    return value;
}

// ---- Typed values ----------------------------------------------------------------------------

bool decodeJSONValue(const Json& json, std::string& out) {
    if (!json.is_string()) return false;
    out = json.get<std::string>();
    return true;
}

bool decodeJSONValue(const Json& json, bool& out) {
    if (!json.is_boolean()) return false;
    out = json.get<bool>();
    return true;
}

bool decodeJSONValue(const Json& json, double& out) {
    if (!json.is_number()) return false;
    out = json.get<double>();
    return true;
}

bool decodeJSONValue(const Json& json, int64_t& out) {
    if (json.is_number_integer() && !json.is_number_unsigned()) {
        out = json.get<int64_t>();
        return true;
    }
    if (json.is_number_unsigned()) {
        const uint64_t value = json.get<uint64_t>();
        if (value > static_cast<uint64_t>(INT64_MAX)) return false;
        out = static_cast<int64_t>(value);
        return true;
    }
    if (json.is_number_float()) {  // 1920.0 is still a whole number
        const double value = json.get<double>();
        if (!std::isfinite(value) || value != std::trunc(value) || value < -9.2e18 || value > 9.2e18) return false;
        out = static_cast<int64_t>(value);
        return true;
    }
    return false;
}

bool decodeJSONValue(const Json& json, int& out) {
    int64_t wide;
    if (!decodeJSONValue(json, wide) || wide < INT32_MIN || wide > INT32_MAX) return false;
    out = static_cast<int>(wide);
    return true;
}

bool decodeJSONValue(const Json& json, uint32_t& out) {
    int64_t wide;
    if (!decodeJSONValue(json, wide) || wide < 0 || wide > UINT32_MAX) return false;
    out = static_cast<uint32_t>(wide);
    return true;
}

bool decodeJSONValue(const Json& json, Timestamp& out) {
    if (!json.is_string()) return false;
    const auto parsed = parseISO8601(json.get_ref<const std::string&>());
    if (!parsed) return false;
    out = *parsed;
    return true;
}

bool decodeJSONValue(const Json& json, Uuid& out) {
    if (!json.is_string()) return false;
    const auto parsed = Uuid::parse(json.get_ref<const std::string&>());
    if (!parsed) return false;
    out = *parsed;
    return true;
}

// ---- Object reader ---------------------------------------------------------------------------

JsonObjectReader::JsonObjectReader(const Json& object, std::string_view typeName)
    : object_(object), typeName_(typeName) {
    if (!object.is_object()) throw DecodingError("Expected " + typeName_ + " to be a JSON object.");
}

void JsonObjectReader::throwMissing(const char* key) const {
    throw DecodingError(typeName_ + " is missing the required key \"" + key + "\".");
}

void JsonObjectReader::throwMismatch(const char* key) const {
    throw DecodingError(typeName_ + " has a value of the wrong type for \"" + key + "\".");
}

}  // namespace quillmer
