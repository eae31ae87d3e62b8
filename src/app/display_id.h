#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace quillmer {

// A display identifier sent by the page: unsigned 32-bit decimal text with an optional leading
// "+" or "-". Any other character, an empty number, overflow or a negative value is nothing.
std::optional<uint32_t> parseDisplayID(std::string_view text);

}  // namespace quillmer
