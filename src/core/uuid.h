#pragma once

#include <array>
#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quillmer {

// A 128-bit identifier, written as upper-case canonical text (8-4-4-4-12).
class Uuid {
public:
    Uuid() = default;  // all zero
    explicit Uuid(const std::array<uint8_t, 16>& bytes) : bytes_(bytes) {}

    // A fresh random (version 4) identifier from the system's secure random source.
    static Uuid random();
    // Canonical hyphenated text in either case; anything else is nullopt.
    static std::optional<Uuid> parse(std::string_view text);

    std::string toString() const;
    const std::array<uint8_t, 16>& bytes() const { return bytes_; }

    auto operator<=>(const Uuid&) const = default;

private:
    std::array<uint8_t, 16> bytes_{};
};

}  // namespace quillmer
