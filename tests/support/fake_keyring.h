#pragma once

#include <map>

#include "platform/keyring.h"

namespace quillmer::testing {

// Items in memory; `failure`, when set, is every call's answer. Counts the reads that reach it.
class FakeKeyring final : public Keyring {
public:
    std::map<KeyringItem, std::string> items;
    std::optional<KeyringFailure> failure;
    int reads = 0;

    KeyringReadResult read(const KeyringItem& item, bool) override {
        ++reads;
        if (failure) return *failure;
        const auto found = items.find(item);
        if (found == items.end()) return KeyringFailure{kKeyringItemNotFound, ""};
        return found->second;
    }
    std::optional<KeyringFailure> replace(const KeyringItem& item, std::string_view secret) override {
        if (!failure) items[item] = std::string(secret);
        return failure;
    }
    std::optional<KeyringFailure> remove(const KeyringItem& item) override {
        if (failure) return failure;
        if (items.erase(item) == 0) return KeyringFailure{kKeyringItemNotFound, ""};
        return std::nullopt;
    }
};

}  // namespace quillmer::testing
