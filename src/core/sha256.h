#pragma once

#include <filesystem>
#include <stop_token>
#include <string>
#include <string_view>

namespace quillmer {

// 64 lower-case hexadecimal digits.
std::string sha256Hex(std::string_view bytes);

// Streams the file in 1 MiB pieces, so memory stays flat for any size. Throws FileSystemError, or
// CancellationError when `stop` is requested (checked before every piece).
std::string sha256HexOfFile(const std::filesystem::path& file, std::stop_token stop = {});

}  // namespace quillmer
