#include "core/safe_path.h"

#include "core/percent_encoding.h"

namespace quillmer {

std::optional<std::filesystem::path> resolveUnderBase(const std::filesystem::path& base, std::string_view encodedPath) {
    std::string path = percentDecoded(encodedPath).value_or("");
    if (path.find('\0') != std::string::npos) return std::nullopt;
    const size_t first = path.find_first_not_of('/');
    if (first == std::string::npos) return std::nullopt;  // empty: the base itself is never served
    path = path.substr(first, path.find_last_not_of('/') - first + 1);

    std::error_code error;
    // Following symbolic links on both sides means a link inside the base that points outside it
    // is refused like a ".." would be.
    const auto realBase = std::filesystem::weakly_canonical(base, error);
    if (error) return std::nullopt;
    const auto candidate = std::filesystem::weakly_canonical(realBase / path, error);
    if (error) return std::nullopt;
    const std::string prefix = realBase.string() + "/";
    if (candidate.string().compare(0, prefix.size(), prefix) != 0) return std::nullopt;
    return candidate;
}

}  // namespace quillmer
