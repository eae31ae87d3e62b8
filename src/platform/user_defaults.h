#pragma once

#include <optional>
#include <string>

#include "core/iso8601.h"
#include "core/json.h"

namespace quillmer {

// The user's small settings (consent choices, update checks, …), keyed by reverse-domain names
// such as "ai.quillmer.consent.standingRecording". A stored value of the wrong type reads as absent.
class UserDefaults {
public:
    virtual ~UserDefaults() = default;

    virtual std::optional<Json> value(const std::string& key) const = 0;
    virtual void setValue(const std::string& key, const Json& value) = 0;
    virtual void removeValue(const std::string& key) = 0;

    std::optional<bool> boolValue(const std::string& key) const;
    std::optional<std::string> stringValue(const std::string& key) const;
    std::optional<double> doubleValue(const std::string& key) const;
    std::optional<int64_t> integerValue(const std::string& key) const;
    // Dates are stored as ISO 8601 text.
    std::optional<Timestamp> dateValue(const std::string& key) const;
    void setDate(const std::string& key, Timestamp date);

private:
    template <typename T>
    std::optional<T> typed(const std::string& key) const;
};

}  // namespace quillmer
