#include "core/safe_path.h"

#include "core/percent_encoding.h"

namespace quillmer {

std::optional<std::filesystem::path> resolveInside(const std::filesystem::path& base, std::string_view relativePath) {
    if (relativePath.empty() || relativePath.front() == '/' || relativePath.find('\0') != std::string_view::npos)
        return std::nullopt;
    std::error_code error;
    // Following symbolic links on both sides means a link inside the base that points outside it
    // is refused like a ".." would be.
    const auto realBase = std::filesystem::weakly_canonical(base, error);
    if (error) return std::nullopt;
    const auto candidate = std::filesystem::weakly_canonical(realBase / relativePath, error);
    if (error) return std::nullopt;
    const std::string prefix = realBase.string() + "/";
    if (candidate.string().compare(0, prefix.size(), prefix) != 0) return std::nullopt;
    return candidate;
}

std::optional<std::filesystem::path> resolveUnderBase(const std::filesystem::path& base, std::string_view encodedPath) {
    const std::string path = percentDecoded(encodedPath).value_or("");
    const size_t first = path.find_first_not_of('/');
    if (first == std::string::npos) return std::nullopt;  // empty: the base itself is never served
    return resolveInside(base, std::string_view(path).substr(first, path.find_last_not_of('/') - first + 1));
}

}  // namespace quillmer
