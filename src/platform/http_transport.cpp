#include "platform/http_transport.h"

#include <algorithm>
#include <cctype>

namespace quillmer {

std::optional<std::string> HttpResponse::header(std::string_view name) const {
    const auto sameName = [&](const auto& entry) {
        return std::ranges::equal(entry.first, name, [](char a, char b) {
            return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
        });
    };
    const auto found = std::ranges::find_if(headers, sameName);
    if (found == headers.end()) return std::nullopt;
    return found->second;
}

}  // namespace quillmer
